class Ltp:
    def __init__(self, nodes, report):
        pass

def check_store(ltp, nodes, report):
    pass

#pragma once

#include <QString>
#include <QWidget>

namespace plumbrae::ui {

/// A frame whose caption sits on its top border, with the children placed from the frame's
/// outer corner: the layout's positions inside the two frames assume exactly that. (QGroupBox
/// draws its title above the border in most styles, which would put the first row of children
/// on the border line.)
class CaptionFrame : public QWidget {
    Q_OBJECT

public:
    explicit CaptionFrame(QString title, QWidget* parent = nullptr);

    [[nodiscard]] const QString& title() const { return m_title; }
    void setTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};

} // namespace plumbrae::ui

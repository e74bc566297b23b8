#include "ui/caption_frame.h"

#include <QPainter>
#include <QPalette>

namespace plumbrae::ui {

namespace {

constexpr int CaptionIndent = 6;
constexpr QColor BorderColour{192, 192, 192};

} // namespace

CaptionFrame::CaptionFrame(QString title, QWidget* parent)
    : QWidget(parent), m_title(std::move(title)) {}

void CaptionFrame::setTitle(const QString& title) {
    if (title != m_title) {
        m_title = title;
        update();
    }
}

void CaptionFrame::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const auto metrics = fontMetrics();
    const int borderTop = metrics.height() / 2;
    painter.setPen(BorderColour);
    painter.drawRect(QRect(0, borderTop, width() - 1, height() - borderTop - 1));

    // The caption covers the border line behind it.
    const int captionWidth =
        std::min(metrics.horizontalAdvance(m_title), width() - 2 * CaptionIndent);
    const QRect captionArea(CaptionIndent, 0, captionWidth, metrics.height());
    painter.fillRect(captionArea, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(captionArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_title);
}

} // namespace plumbrae::ui

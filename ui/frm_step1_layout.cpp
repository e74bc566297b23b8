// The controls of the main window, placed at fixed positions. Positions and sizes are given in
// twips as the original layout was drawn (15 twips to a pixel), relative to each control's
// container, so they can be checked against that layout number by number.

#include "ui/caption_frame.h"
#include "ui/file_queue_model.h"
#include "ui/frm_step1.h"

#include <QFontDatabase>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace plumbrae::ui {

namespace {

constexpr int TwipsPerPixel = 15;
constexpr int ClientWidthTwips = 8175;
constexpr int ClientHeightTwips = 6930;
constexpr int QueueColumnTwips = 15000;
constexpr double ControlPointSize = 8.25;
constexpr double TitlePointSize = 14.25;
constexpr int ImageSize = 48;

struct Twips {
    int left;
    int top;
    int width;
    int height;
};

template <class Widget> Widget* place(Widget* widget, const char* name, Twips where) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(where.left / TwipsPerPixel, where.top / TwipsPerPixel,
                        where.width / TwipsPerPixel, where.height / TwipsPerPixel);
    return widget;
}

/// Tahoma where it is installed, as the window was drawn with it. Without it, a face of about
/// Tahoma's width: the desktop's usual sans serif (DejaVu Sans) is so much wider at this size
/// that the button texts would be cut off at the fixed sizes. Last, the system's sans serif.
QFont controlFont() {
    const auto installed = QFontDatabase::families();
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    for (const auto* family : {"Tahoma", "Liberation Sans", "Arimo", "Nimbus Sans", "Arial"}) {
        if (installed.contains(QString::fromLatin1(family))) {
            font = QFont(QString::fromLatin1(family));
            break;
        }
    }
    font.setPointSizeF(ControlPointSize);
    font.setBold(false);
    return font;
}

/// A white band with a silver border, drawn behind the title and behind the bottom buttons.
QFrame* band(QWidget* parent, const char* name, Twips where) {
    auto* frame = place(new QFrame(parent), name, where);
    frame->setStyleSheet(QStringLiteral("QFrame#%1 { background-color: white; border: 1px solid "
                                        "silver; }")
                             .arg(QString::fromLatin1(name)));
    frame->lower();
    return frame;
}

void paintWhite(QWidget* widget) {
    auto palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* label(QWidget* parent, const char* name, const char* text, Twips where) {
    auto* created = place(new QLabel(QString::fromLatin1(text), parent), name, where);
    created->setFocusPolicy(Qt::NoFocus);
    return created;
}

} // namespace

void frmStep1::buildControls() {
    setWindowTitle(QStringLiteral("Plumbrae v3.0"));
    setWindowIcon(QIcon(QStringLiteral(":/plumbrae/plumbrae.svg")));
    setFont(controlFont());
    setFixedSize(ClientWidthTwips / TwipsPerPixel, ClientHeightTwips / TwipsPerPixel);
    buildBands();
    buildQueueControls();
    buildDetailsFrame();
    buildOptionsFrame();

    m_cmdZimbraConvert = place(new QPushButton(QStringLiteral("Convert &Contacts"), this),
                               "CmdZimbraConvert", {2880, 5760, 2415, 435});
    m_cmdZimbraConvert->setEnabled(false);

    auto* picture3 = place(new QWidget(this), "Picture3", {240, 6480, 7695, 495});
    paintWhite(picture3);
    m_cmdHelp = place(new QPushButton(QStringLiteral("&Help Manual"), picture3), "CmdHelp",
                      {0, 0, 1695, 375});
    m_cmdEnd =
        place(new QPushButton(QStringLiteral("E&xit"), picture3), "cmdEnd", {6360, 0, 1335, 375});
    setTabOrder();
    m_cmdAdd->setFocus();
}

void frmStep1::buildBands() {
    band(this, "Shape2", {-120, 0, 8415, 855});
    band(this, "Shape1", {0, 6360, 8415, 855});

    auto* image = place(new QLabel(this), "Image1", {120, 75, 720, 720});
    image->setPixmap(QIcon(QStringLiteral(":/plumbrae/plumbrae.svg")).pixmap(ImageSize, ImageSize));

    auto* title = label(this, "lblTitle", "Plumbrae", {960, 120, 6255, 375});
    QFont titleFont = font();
    titleFont.setPointSizeF(TitlePointSize);
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto palette = title->palette();
    palette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    palette.setColor(QPalette::Window, Qt::white);
    title->setPalette(palette);
    title->setAutoFillBackground(true);
}

void frmStep1::buildQueueControls() {
    m_cmdAdd = place(new QPushButton(QStringLiteral("Add Zimbra Contacts File(s)..."), this),
                     "cmdAdd", {240, 960, 2415, 375});
    m_cmdAddFolder =
        place(new QPushButton(QStringLiteral("Add Folder having Zimbra Contacts File(s)..."), this),
              "CmdAddFolder", {2880, 960, 3495, 375});
    m_cmdClear1 = place(new QPushButton(QStringLiteral("Clear File(s)..."), this), "cmdClear1",
                        {6600, 960, 1335, 375});
    m_lblCount1 = label(this, "lblCount1", "", {270, 1560, 7695, 255});

    m_grdFiles1 = place(new QListView(this), "grdFiles1", {240, 1800, 7695, 1575});
    m_grdFiles1->setUniformItemSizes(true);
    m_grdFiles1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grdFiles1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grdFiles1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_grdFiles1->setTextElideMode(Qt::ElideNone);
    m_queue->setRowSize(
        QSize(QueueColumnTwips / TwipsPerPixel, m_grdFiles1->fontMetrics().height() + 2));
    m_grdFiles1->setModel(m_queue);
}

void frmStep1::buildDetailsFrame() {
    m_frameConversion = place(new CaptionFrame(QStringLiteral(" Details"), this), "FrameConversion",
                              {240, 3480, 7695, 1335});
    m_lblCurrentDBX =
        label(m_frameConversion, "LblCurrentDBX", "Converting Contacts...", {120, 240, 7455, 255});
    m_lblProgessCurrent = label(m_frameConversion, "LblProgessCurrent", "Contact(s) 0 (of 0)",
                                {1800, 600, 5775, 255});
    auto palette = m_lblProgessCurrent->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    m_lblProgessCurrent->setPalette(palette);
    label(m_frameConversion, "Label1", "Conversion Progress  : ", {120, 960, 1695, 255});
    m_progressBar1 =
        place(new QProgressBar(m_frameConversion), "ProgressBar1", {1800, 960, 5775, 255});
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    m_progressBar1->setTextVisible(false);
    m_progressBar1->setFocusPolicy(Qt::NoFocus);
}

void frmStep1::buildOptionsFrame() {
    auto* frame1 = place(new CaptionFrame(QStringLiteral(" Saving Options"), this), "Frame1",
                         {240, 4920, 7695, 735});
    auto* picture1 = place(new QWidget(frame1), "Picture1", {120, 240, 7455, 375});
    // Option buttons that share a parent form one group: choosing one clears the others.
    m_optvCards = place(new QRadioButton(QStringLiteral("vCards (.vcf)"), picture1), "OptvCards",
                        {0, 120, 1575, 255});
    m_optExcel = place(new QRadioButton(QStringLiteral("CSV/Excel (.csv/.xls)"), picture1),
                       "OptExcel", {2160, 120, 2175, 255});
    m_optPST = place(new QRadioButton(QStringLiteral("Outlook (.pst)"), picture1), "OptPST",
                     {4920, 120, 1815, 255});
    // Where each option puts the contacts and, beside them, the contact groups.
    m_optvCards->setToolTip(QStringLiteral("One vCard per contact, and a contact list card per "
                                           "contact group"));
    m_optExcel->setToolTip(QStringLiteral("ZimbraContacts.xls and ZimbraContacts.csv, a row per "
                                          "contact; contact groups in ZimbraGroups.csv"));
    m_optPST->setToolTip(QStringLiteral("One Outlook data file: a contact item per contact and a "
                                        "distribution list per contact group"));
}

void frmStep1::setTabOrder() {
    // The keyboard order of the original tab indexes, skipping labels and frames.
    QWidget* const chain[] = {m_cmdAdd,           m_cmdClear1, m_cmdAddFolder, m_grdFiles1,
                              m_cmdZimbraConvert, m_cmdEnd,    m_cmdHelp,      m_optvCards,
                              m_optExcel,         m_optPST};
    for (std::size_t i = 1; i < std::size(chain); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
}

} // namespace plumbrae::ui

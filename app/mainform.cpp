#include "app/mainform.h"
#include "app/mainform_colours.h"

#include "app/iniio.h"
#include "app/settings.h"
#include "app/layout.h"
#include "app/mainform_textfit.h"
#include "app/title.h"
#include "pcfiles/mainform_pcfilelist.h"
#include "platform/dialogs.h"
#include "platform/pictureview.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

namespace qlx {
namespace {
// The window's fonts are those of the original platform; these are their nearest relatives here.
void substituteFonts()
{
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Fixedsys"),
                               {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
}

QFont sansFont(bool bold)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

// The nearest relatives of the original fonts run wider; narrow a caption just enough to fit.
QFont fittingFont(QFont font, const QString& text, int width)
{
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    if (natural > width && width > 0)
        font.setStretch(qMax(50, 100 * width / natural));
    return font;
}

// The width the style leaves for a radio button's caption beside its indicator.
int captionRoom(const QRadioButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button).width();
}

void setBackground(QWidget* w, QRgb colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, QColor(colour));
    p.setColor(QPalette::Button, QColor(colour));
    p.setColor(QPalette::Base, QColor(colour));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// A 16 x 16 window icon: a small tester screen with a trace.
QIcon drawnIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(0, 1, 15, 13);
    p.setBrush(QColor(0x00, 0x00, 0x80));
    p.drawRect(2, 3, 11, 8);
    p.setPen(QColor(0xFF, 0xFF, 0x00));
    p.drawPolyline(QPolygon({QPoint(3, 9), QPoint(5, 8), QPoint(7, 4), QPoint(9, 8), QPoint(12, 9)}));
    return QIcon(pixmap);
}

} // namespace

StartupInfo startupInfoFromApplication()
{
    StartupInfo info;
    info.programDir = QCoreApplication::applicationDirPath();
    info.executablePath = QCoreApplication::applicationFilePath();
    info.arguments = QCoreApplication::arguments().mid(1);
    return info;
}

MainForm::MainForm(const StartupInfo& info, QWidget* parent) : QWidget(parent), info_(info)
{
    setWindowTitle(QStringLiteral("QLX hardcopy transfer via IEEE bus"));
    setWindowIcon(drawnIcon());
    setObjectName(QStringLiteral("MainForm"));
    substituteFonts();
    setFont(sansFont(false));
    buildControls();
    setTabOrder();
}

template <class W>
W* MainForm::place(W* control, QWidget* parent, const QString& name, Twips twips)
{
    control->setParent(parent);
    control->setObjectName(name);
    geometry_.insert(control, twips);
    applyGeometry(control);
    return control;
}

void MainForm::buildControls()
{
    QWidget* client = this;

    SetFrame = place(new QGroupBox(QStringLiteral("Setup")), client, QStringLiteral("SetFrame"), {60, 60, 1695, 1755});
    Route[0] =
        place(new QRadioButton(QStringLiteral("IEEE")), SetFrame, QStringLiteral("Route_0"), {120, 240, 675, 255});
    Route[1] =
        place(new QRadioButton(QStringLiteral("COM")), SetFrame, QStringLiteral("Route_1"), {120, 480, 675, 255});
    Route[0]->setChecked(true);
    AdrC = place(new QLineEdit(QStringLiteral("20")), SetFrame, QStringLiteral("AdrC"), {960, 360, 435, 285});
    ImgPath = place(new QPushButton(QStringLiteral("File Path on PC")), SetFrame, QStringLiteral("ImgPath"),
                    {120, 780, 1455, 315});
    TestQLX = place(new QPushButton(QStringLiteral("Read QLX Directory")), SetFrame, QStringLiteral("TestQLX"),
                    {120, 1140, 1455, 495});
    TestQLX->setFont(fittingFont(sansFont(true), TestQLX->text(), TestQLX->width() - 6));
    TestQLX->setToolTip(QStringLiteral("click to connect to the instrument"));

    Label1 = place(new QLabel(QStringLiteral("directory")), client, QStringLiteral("Label_1"), {60, 1860, 1695, 195});
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(sansFont(true));

    QLXFiles = place(new QListWidget, client, QStringLiteral("QLXFiles"), {60, 2160, 1695, 1425});
    QLXFiles->setSortingEnabled(true);
    QLXFiles->setToolTip(QStringLiteral("click to transfer hardcopy and display it"));

    PCFileList = place(new PcFileList, client, QStringLiteral("PCFileList"), {60, 2160, 1695, 1455});
    PCFileList->hide();
    setBackground(PCFileList, kLightGrey);

    FileFrame = place(new QGroupBox, client, QStringLiteral("FileFrame"), {60, 3660, 1695, 1935});
    FileFrame->setFlat(true);
    FileLocation[0] =
        place(new QRadioButton(QStringLiteral("QLX")), FileFrame, QStringLiteral("FileLocation_0"), {60, 0, 735, 195});
    FileLocation[1] =
        place(new QRadioButton(QStringLiteral("PC")), FileFrame, QStringLiteral("FileLocation_1"), {900, 0, 735, 195});
    FileLocation[0]->setChecked(true);
    for (QRadioButton* button : {Route[0], Route[1], FileLocation[0], FileLocation[1]})
        button->setFont(fittingFont(button->font(), button->text(), captionRoom(button)));
    CopyAll = place(new QPushButton(QStringLiteral("All Files QLX -> PC")), FileFrame, QStringLiteral("CopyAll"),
                    {0, 300, 1695, 315});
    DelThis = place(new QPushButton(QStringLiteral("Delete File on QLX")), FileFrame, QStringLiteral("DelThis"),
                    {0, 660, 1695, 315});
    DeleteAll = place(new QPushButton(QStringLiteral("Delete all Files (QLX)")), FileFrame, QStringLiteral("DeleteAll"),
                      {0, 1020, 1695, 315});
    setBackground(DeleteAll, kRed);
    for (QPushButton* b : {CopyAll, DelThis, DeleteAll})
        b->setEnabled(false);

    Status = place(new QLabel, FileFrame, QStringLiteral("Status"), {60, 1380, 1575, 255});
    Status->setAlignment(Qt::AlignCenter);
    Status->setFrameShape(QFrame::Box);
    setBackground(Status, kLightGrey);

    Stat = place(new QProgressBar, FileFrame, QStringLiteral("Stat"), {60, 1680, 1575, 195});
    Stat->setRange(0, 100);
    Stat->setValue(0);
    Stat->setTextVisible(false);

    TextDisp = place(new QLabel, client, QStringLiteral("TextDisp"), {1860, 0, 7395, 5595});
    QFont fixed(QStringLiteral("Fixedsys"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPointSize(9);
    TextDisp->setFont(fixed);
    TextDisp->setFrameShape(QFrame::Box);
    TextDisp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    TextDisp->setTextFormat(Qt::PlainText);
    setBackground(TextDisp, kLightGrey);

    Bild = place(new PictureView, client, QStringLiteral("Bild"), {1860, 0, 7395, 5235});

    connect(TestQLX, &QPushButton::clicked, this, &MainForm::TestQLX_Click);
    connectFileHandlers();
    for (int i = 0; i < 2; ++i)
        connect(Route[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (!on)
                return;
            session_.setBus(i == 0 ? Bus::Gpib : Bus::Serial);
            Route_Click(i);
        });
}

void MainForm::connectFileHandlers()
{
    // A click on a name transfers it, and so does each entry the arrow keys reach; a click on the
    // entry that is already selected transfers it again.
    connect(QLXFiles, &QListWidget::itemSelectionChanged, this, &MainForm::QLXFiles_Click);
    connect(QLXFiles, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (QLXFiles->row(item) == rowBeforePress_)
            QLXFiles_Click();
    });
    QLXFiles->installEventFilter(this);
    QLXFiles->viewport()->installEventFilter(this);
    connect(DelThis, &QPushButton::clicked, this, &MainForm::DelThis_Click);
    connect(DeleteAll, &QPushButton::clicked, this, &MainForm::DeleteAll_Click);
    connect(CopyAll, &QPushButton::clicked, this, &MainForm::CopyAll_Click);
    connect(ImgPath, &QPushButton::clicked, this, &MainForm::ImgPath_Click);
    for (int i = 0; i < 2; ++i)
        connect(FileLocation[i], &QRadioButton::clicked, this, [this, i] { FileLocation_Click(i); });
    // The PC list the same way: a click or an arrow key shows the file.
    connect(PCFileList, &QListWidget::itemSelectionChanged, this, &MainForm::PCFileList_Click);
    connect(PCFileList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (PCFileList->row(item) == pcRowBeforePress_)
            PCFileList_Click();
    });
    PCFileList->viewport()->installEventFilter(this);
}

// The row of `list` that is selected now, or -1.
static int selectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->row(selected.first());
}

bool MainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QLXFiles->viewport() && event->type() == QEvent::MouseButtonPress) {
        rowBeforePress_ = selectedRow(QLXFiles);
    } else if (watched == PCFileList->viewport() && event->type() == QEvent::MouseButtonPress) {
        pcRowBeforePress_ = selectedRow(PCFileList);
    } else if (watched == QLXFiles && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete) {
            const Qt::KeyboardModifiers m = key->modifiers();
            QLXFiles_KeyDown(kDeleteKey, (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
                                             | (m & Qt::AltModifier ? 4 : 0));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainForm::setTabOrder()
{
    // The keyboard order of the focusable controls, following their tab indexes.
    const QList<QWidget*> order = {QLXFiles, AdrC,      TestQLX, Route[0],   Route[1],        ImgPath,
                                   CopyAll,  DeleteAll, DelThis, PCFileList, FileLocation[0], FileLocation[1]};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

double MainForm::dpiX() const { return logicalDpiX(); }
double MainForm::dpiY() const { return logicalDpiY(); }

void MainForm::applyGeometry(QWidget* control)
{
    const Twips t = geometry_.value(control);
    control->setGeometry(twipsToPixels(t.left, dpiX()), twipsToPixels(t.top, dpiY()), twipsToPixels(t.width, dpiX()),
                         twipsToPixels(t.height, dpiY()));
}

double MainForm::outerWidthTwips() const { return pixelsToTwips(frameGeometry().width(), dpiX()); }
double MainForm::outerHeightTwips() const { return pixelsToTwips(frameGeometry().height(), dpiY()); }
double MainForm::clientWidthTwips() const { return pixelsToTwips(width(), dpiX()); }
double MainForm::clientHeightTwips() const { return pixelsToTwips(height(), dpiY()); }

void MainForm::setOuterSizeTwips(double width, double height)
{
    const int frameW = frameGeometry().width() - this->width();
    const int frameH = frameGeometry().height() - this->height();
    resize(twipsToPixels(width, dpiX()) - frameW, twipsToPixels(height, dpiY()) - frameH);
}

void MainForm::setStatus(const QString& text, QRgb background)
{
    // The line's size is the layout's; the message is set to fit it, two pixels clear of the frame.
    constexpr int kMargin = 2;
    const FittedText fitted = fitText(sansFont(false), text, Status->contentsRect().width() - 2 * kMargin);
    Status->setFont(fitted.font);
    Status->setText(fitted.text);
    Status->setToolTip(fitted.elided ? text : QString());
    setBackground(Status, background);
}

void MainForm::Form_Load()
{
    QLXCopyINI = settingsFilePath(info_.programDir);
    Debugger = info_.arguments.join(u' ') == kDebugCode;
    session_.setDebug(Debugger);
    const QDate date = QFileInfo(info_.executablePath).lastModified().date();
    setWindowTitle(composeTitle(QLX_VERSION_MAJOR, QLX_VERSION_MINOR, QLX_VERSION_REVISION, Debugger, date));
    show();
    setOuterSizeTwips(kMinOuterWidth, kMinOuterHeight);

    if (const QString refusal = settingsFileRefusal(QLXCopyINI); !refusal.isEmpty())
        messageBox(refusal + QStringLiteral(". QLXCopy starts with the default settings and keeps none."), MbCritical,
                   QStringLiteral("SETTINGS"));
    const Settings settings = loadSettings(QLXCopyINI, info_.programDir);
    PCPath = settings.pcPath;
    PCFileList->setPath(PCPath);
    Route[0]->setChecked(settings.bus == Bus::Gpib);
    Route[1]->setChecked(settings.bus == Bus::Serial);
    AdrC->setText(settings.address);
    Connected = false;
    if (!Debugger)
        for (const QString& argument : info_.arguments)
            openFromCommandLine(argument);
}

void MainForm::Route_Click(int index) { AdrC->setText(defaultAddress(index == 0 ? Bus::Gpib : Bus::Serial)); }

void MainForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void MainForm::Form_Resize()
{
    if (isMinimized() || !Bild)
        return;
    // Let a window manager keep the minimum while the border is dragged, too.
    setMinimumSize(twipsToPixels(kMinOuterWidth, dpiX()) - (frameGeometry().width() - width()),
                   twipsToPixels(kMinOuterHeight, dpiY()) - (frameGeometry().height() - height()));
    ResizeInput in{outerWidthTwips(), outerHeightTwips(), clientWidthTwips(), clientHeightTwips()};
    const ResizeResult r = computeResize(in);
    if (r.outerWidth || r.outerHeight)
        setOuterSizeTwips(r.outerWidth.value_or(in.outerWidth), r.outerHeight.value_or(in.outerHeight));
    for (QWidget* pane : {static_cast<QWidget*>(Bild), static_cast<QWidget*>(TextDisp)}) {
        Twips& t = geometry_[pane];
        t.width = r.paneWidth.value_or(t.width);
        t.height = r.paneHeight.value_or(t.height);
        applyGeometry(pane);
    }
    geometry_[FileFrame].top = r.fileFrameTop;
    applyGeometry(FileFrame);
    for (QWidget* list : {static_cast<QWidget*>(QLXFiles), static_cast<QWidget*>(PCFileList)}) {
        geometry_[list].height = r.listHeight.value_or(geometry_[list].height);
        applyGeometry(list);
    }
}

void MainForm::closeEvent(QCloseEvent* event)
{
    if (exchangeDepth_ > 0) {
        // End the wait first (Copy-all finishes the file in progress); the window closes as soon
        // as the interrupted handler has returned.
        closePending_ = true;
        if (!bulkCopyRunning_)
            session_.abort();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

MainForm::Exchange::Exchange(MainForm& form) : form_(form), refused_(form.exchangeDepth_ > 0 || form.closePending_)
{
    if (!refused_ && form_.exchangeDepth_++ == 0)
        form_.notOpenReported_ = false;
}

MainForm::Exchange::~Exchange()
{
    if (refused_)
        return;
    if (--form_.exchangeDepth_ == 0 && form_.closePending_) {
        form_.setMousePointer(0);
        QTimer::singleShot(0, &form_, &QWidget::close);
    }
}

void MainForm::setMousePointer(int pointer)
{
    if (pointer == 11 && !QApplication::overrideCursor())
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (pointer == 0)
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
}

int MainForm::messageBox(const QString& text, int style, const QString& title)
{
    if (closePending_)
        return style == MbQuestionYesNo || style == MbExclamationYesNo ? AnswerNo : AnswerOk;
    // The hourglass stays off while the user reads a message.
    const bool waiting = QApplication::overrideCursor() != nullptr;
    setMousePointer(0);
    const int answer = dialogs().messageBox(this, text, style, title);
    if (waiting)
        setMousePointer(11);
    return answer;
}

void MainForm::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    saveSettings(QLXCopyINI, {PCPath, currentBus(), AdrC->text()});
    // Gone from the screen at once, also while the go-to-local waits for a call that closing
    // left behind on the bus.
    hide();
    session_.close(); // the go-to-local on the bus selected now
}

} // namespace qlx

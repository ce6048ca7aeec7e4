// The real window on the offscreen platform: controls and the fit of their texts, start-up with
// and without a file named, the bus choice and shutdown.
#include "app/mainform.h"
#include "app/mainform_colours.h"
#include "app/mainform_textfit.h"
#include "pcfiles/mainform_pcfilelist.h"
#include "platform/pictureview.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/wmfbuilder.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace qlx;

namespace {
void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}
QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class MainFormTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    StartupInfo info(const QStringList& args = {})
    {
        return {dir.path(), QCoreApplication::applicationFilePath(), args};
    }
    QString ini() const { return dir.filePath(QStringLiteral("QLXCopy.INI")); }

private slots:
    void init() { QFile::remove(ini()); }

    void controlsBeforeAndAfterStartUp()
    {
        MainForm form(info());
        QCOMPARE(form.windowTitle(), QStringLiteral("QLX hardcopy transfer via IEEE bus"));
        form.Form_Load();
        QVERIFY(form.windowTitle().startsWith(QStringLiteral("Halvard & Brenn QLXCopy, V 1.4 from ")));
        QVERIFY(!form.Debugger);
        QVERIFY(!form.windowIcon().isNull());

        const QStringList names = {"SetFrame",       "Route_0",        "Route_1",  "AdrC",       "ImgPath",
                                   "TestQLX",        "Label_1",        "QLXFiles", "PCFileList", "FileFrame",
                                   "FileLocation_0", "FileLocation_1", "CopyAll",  "DelThis",    "DeleteAll",
                                   "Status",         "Stat",           "TextDisp", "Bild"};
        for (const QString& name : names)
            QVERIFY2(form.findChild<QWidget*>(name), qPrintable(name));
        QCOMPARE(form.TestQLX->text(), QStringLiteral("Read QLX Directory"));
        QCOMPARE(form.TestQLX->toolTip(), QStringLiteral("click to connect to the instrument"));
        QCOMPARE(form.DeleteAll->text(), QStringLiteral("Delete all Files (QLX)"));
        QVERIFY(!form.CopyAll->isEnabled() && !form.DelThis->isEnabled() && !form.DeleteAll->isEnabled());
        QVERIFY(form.Route[0]->isChecked() && form.FileLocation[0]->isChecked());
        QVERIFY(form.QLXFiles->isVisible() && !form.PCFileList->isVisible());
        QCOMPARE(form.Stat->value(), 0);
        QCOMPARE(form.Status->text(), QString());

        // Positions are twips scaled by the screen's dpi.
        const double dpi = form.logicalDpiX();
        QCOMPARE(form.AdrC->geometry().topLeft(), QPoint(qRound(960 * dpi / 1440), qRound(360 * dpi / 1440)));
        QCOMPARE(form.Route[1]->geometry().size(), QSize(qRound(675 * dpi / 1440), qRound(255 * dpi / 1440)));
    }

    void debugCodeMustBeTheWholeArgumentText()
    {
        ScriptedDialogs dialogs; // the arguments that are no debug code name no file either
        for (const auto& [args, debug] : QList<QPair<QStringList, bool>>{
                 {{"517306"}, true}, {{"5173060"}, false}, {{"517306", "x"}, false}, {{}, false}, {{"-d"}, false}}) {
            MainForm form(info(args));
            form.Form_Load();
            QCOMPARE(form.Debugger, debug);
            QCOMPARE(form.windowTitle().contains(QStringLiteral(" from  !!DEBUG!! ")), debug);
            form.close();
        }
    }

    // Each caption fits the room its control's style leaves for it, so none is clipped.
    void captionsFitTheirControls()
    {
        MainForm form(info());
        form.Form_Load();
        for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const bool radio = qobject_cast<QRadioButton*>(button);
            const QRect room = button->style()->subElementRect(
                radio ? QStyle::SE_RadioButtonContents : QStyle::SE_PushButtonContents, &option, button);
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= room.width(),
                     qPrintable(button->text()));
        }
        QVERIFY(form.Label1->fontMetrics().horizontalAdvance(form.Label1->text())
                <= form.Label1->contentsRect().width());
    }

    // `qlxcopy FILE` shows the file from the PC list of its folder; the folder kept for copies and
    // written at shutdown stays the one of the settings.
    void fileOnTheCommandLineIsShownFromItsFolder()
    {
        writeFile(ini(), "[Path]\nFilePath=" + dir.path().toLocal8Bit() + "\n");
        QTemporaryDir other;
        WmfBuilder b;
        b.brush(0, QColor(255, 0, 0)).select(0).rect(0, 0, 500, 500);
        writeFile(other.filePath(QStringLiteral("B.WMF")), b.bytes());
        const QString shot = other.filePath(QStringLiteral("shot 1.wmf"));
        writeFile(shot, b.bytes());
        ScriptedDialogs dialogs;
        {
            MainForm form(info({shot}));
            form.Form_Load();
            QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));
            QVERIFY(form.FileLocation[1]->isChecked() && form.PCFileList->isVisible() && !form.QLXFiles->isVisible());
            QCOMPARE(form.PCFileList->path(), other.path());
            QCOMPARE(form.PCFileList->currentItem()->text(), QStringLiteral("shot 1.wmf"));
            QVERIFY(form.Bild->isVisible() && !form.Bild->picture().isNull());
            QCOMPARE(form.PCPath, dir.path());
            form.close();
        }
        QVERIFY(readFile(ini()).contains("FilePath=" + dir.path().toLocal8Bit() + "\n"));

        for (const QString& wrong : {other.filePath(QStringLiteral("gone.WMF")), other.path()}) {
            dialogs.shown.clear();
            MainForm form(info({wrong}));
            form.Form_Load();
            QCOMPARE(dialogs.shown.size(), 1);
            QCOMPARE(dialogs.shown[0].title, QStringLiteral("ERROR"));
            QCOMPARE(dialogs.shown[0].style, int(MbCritical));
            QVERIFY(dialogs.shown[0].text.contains(wrong));
            QVERIFY(form.FileLocation[0]->isChecked() && form.QLXFiles->isVisible());
            QCOMPARE(form.PCFileList->path(), dir.path());
        }
    }

    // At 96 dpi with the stand-in fonts every status message is drawn whole: no ink in the columns
    // just inside the frame, and the ink as wide as the text the line holds. A name too long even
    // for the smallest size is shortened in the middle and whole in the tooltip.
    void statusLineShowsEachMessageWhole()
    {
        MainForm form(info());
        form.Form_Load();
        if (form.logicalDpiX() != 96)
            QSKIP("the widths are those of a 96 dpi screen");
        const QString longName = QStringLiteral("SPECTRUM_ANALYSER_HARDCOPY_2024_0517.WMF");
        QCOMPARE(longName.size(), 40);
        // Copy-all ends on "ready": the long name's tooltip must go with it.
        const QStringList messages = {
            "connected", "not connected", "CONNECTION BROKEN!", "-12 s to go ...", "1234 s to go ...", "SCREEN01.WMF",
            longName,    "ready"};
        for (const QString& message : messages) {
            form.setStatus(message, kYellow);
            const QImage image = form.Status->grab().toImage();
            const QRect inside = form.Status->contentsRect();
            int first = image.width(), last = -1;
            for (int x = inside.left(); x <= inside.right(); ++x)
                for (int y = inside.top(); y <= inside.bottom(); ++y)
                    if (image.pixel(x, y) != qRgb(0xFF, 0xFF, 0x00)) {
                        first = qMin(first, x);
                        last = qMax(last, x);
                    }
            const QString shown = form.Status->text();
            const int advance = form.Status->fontMetrics().horizontalAdvance(shown);
            QVERIFY2(first > inside.left() && last < inside.right(), qPrintable(message));
            QVERIFY2(qAbs(last - first + 1 - advance) <= 2, qPrintable(message));
            QVERIFY(form.Status->font().pointSizeF() >= kSmallestReadablePointSize);
            if (message == longName) {
                QVERIFY(shown.startsWith(QStringLiteral("SPEC")) && shown.endsWith(QStringLiteral(".WMF")));
                QVERIFY(shown.contains(QChar(0x2026)));
                QCOMPARE(form.Status->toolTip(), longName);
            } else {
                QCOMPARE(shown, message);
                QCOMPARE(form.Status->toolTip(), QString());
            }
        }
    }

    void startUpFromSettingsAndRouteClicks()
    {
        writeFile(ini(), "[Remote]\nRoute=0\nPath=2\n[Path]\nFilePath=/no/such/folder\n");
        MainForm form(info());
        form.Form_Load();
        QVERIFY(form.Route[1]->isChecked());
        QCOMPARE(form.AdrC->text(), QStringLiteral("2"));
        QCOMPARE(form.PCPath, dir.path());
        QCOMPARE(form.PCFileList->path(), dir.path());

        form.AdrC->setText(QStringLiteral("7"));
        form.Route[0]->click();
        QCOMPARE(form.AdrC->text(), QStringLiteral("20"));
        form.Route[1]->click();
        QCOMPARE(form.AdrC->text(), QStringLiteral("1"));
        form.close();

        writeFile(ini(), "[Path]\nFilePath=/\n");
        MainForm root(info());
        root.Form_Load();
        QCOMPARE(root.PCPath, QStringLiteral("/"));
        QVERIFY(root.Route[0]->isChecked());
        QCOMPARE(root.AdrC->text(), QStringLiteral("20"));
    }

    // Guards against start-up waiting for ever on a named pipe in place of the settings file.
    void startUpRefusesASettingsFileThatIsNoFile()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(ini()).constData(), 0600), 0);
        ScriptedDialogs dialogs;
        MainForm form(info());
        form.Form_Load();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, ini()
                                            + ": the settings file is a named pipe, not a regular file. QLXCopy "
                                              "starts with the default settings and keeps none.");
        QVERIFY(form.Route[0]->isChecked());
        QCOMPARE(form.AdrC->text(), QStringLiteral("20"));
        form.close();
        QVERIFY(!QFileInfo(ini()).isFile()); // the pipe was not replaced at shutdown either
    }

    void shutdownWritesTheThreeSettingsIntoAnExistingFile()
    {
        writeFile(ini(), "; lab PC 3\r\n[Other]\r\nkeep=yes\r\n[Remote]\r\nRoute=1\r\n");
        {
            MainForm form(info());
            form.Form_Load();
            form.Route[1]->click();
            form.AdrC->setText(QStringLiteral("/dev/ttyUSB0"));
            form.close();
        }
        QCOMPARE(readFile(ini()), QByteArray("; lab PC 3\r\n[Other]\r\nkeep=yes\r\n[Remote]\r\nRoute=0\r\n"
                                             "Path=/dev/ttyUSB0\r\n[Path]\r\nFilePath=")
                                      + dir.path().toLocal8Bit() + "\r\n");
    }

    void layoutFollowsTheWindowSize()
    {
        MainForm form(info());
        form.Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.resize(300, 200); // below the minimum: snaps back
        QTRY_COMPARE(qRound(form.outerWidthTwips()), 9435);
        QTRY_COMPARE(qRound(form.outerHeightTwips()), 6075);
        const int listBefore = form.QLXFiles->height();
        form.resize(form.width() + 100, form.height() + 40);
        QTRY_COMPARE(form.QLXFiles->height(), listBefore + 40);
        QCOMPARE(form.PCFileList->height(), form.QLXFiles->height());
        QCOMPARE(form.Bild->geometry().right(), form.width() - 1);
        QCOMPARE(form.TextDisp->geometry(), form.Bild->geometry());
        QCOMPARE(form.SetFrame->width(), qRound(1695.0 * form.logicalDpiX() / 1440));
    }

    // The picture pane draws the picture stretched to whatever size it has.
    void viewDrawsAtItsSize()
    {
        WmfBuilder b;
        b.brush(0, QColor(255, 0, 0)).select(0).pen(5, 0, Qt::black).select(1).rect(0, 0, 500, 1000);
        PictureView view;
        view.setPicture(wmf::Picture::fromData(b.bytes()));
        for (QSize size : {QSize(120, 80), QSize(640, 300)}) {
            view.resize(size);
            const QImage shot = view.grab().toImage();
            QVERIFY(shot.pixel(size.width() / 4, size.height() / 2) == qRgb(255, 0, 0));
            QVERIFY(shot.pixel(size.width() * 3 / 4, size.height() / 2) == qRgb(255, 255, 255));
        }
        view.clear();
        QVERIFY(view.picture().isNull());
    }

    // The picture pane's context menu saves the hardcopy shown, asking through the dialogs' seam.
    void paneSavesThePictureShown()
    {
        ScriptedDialogs answers;
        MainForm form(info());
        form.Form_Load();
        QAction* save = form.Bild->saveAction();
        QCOMPARE(form.Bild->contextMenuPolicy(), Qt::ActionsContextMenu);
        QVERIFY(form.Bild->actions().contains(save));
        QCOMPARE(save->text(), QStringLiteral("Save picture as..."));
        QVERIFY(!save->isEnabled());

        WmfBuilder b;
        b.brush(0, QColor(255, 0, 0))
            .select(0)
            .rect(0, 0, 500, 1000)
            .font(-100, "Arial")
            .select(1)
            .textOut(600, 100, "Level");
        const QString wmf = dir.filePath(QStringLiteral("HC_0007.WMF"));
        writeFile(wmf, b.bytes());
        form.showPcFile(wmf, QStringLiteral("HC_0007.WMF"));
        QVERIFY(save->isEnabled());

        save->trigger(); // cancelled: nothing written
        QCOMPARE(answers.saveQuestions.size(), 1);
        QCOMPARE(answers.saveQuestions[0].suggested, dir.filePath(QStringLiteral("HC_0007.png")));
        QCOMPARE(answers.saveQuestions[0].filters.size(), 3);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("HC_0007.png"))));

        answers.saveAnswers << dir.filePath("a.png") << dir.filePath("a.svg") << dir.filePath("a.pdf");
        for (int i = 0; i < 3; ++i)
            save->trigger();
        QCOMPARE(QImage(dir.filePath("a.png")).pixel(2, 2), qRgb(255, 0, 0));
        QVERIFY(readFile(dir.filePath("a.svg")).contains(">Level</text>"));
        QVERIFY(readFile(dir.filePath("a.pdf")).startsWith("%PDF"));
        QVERIFY(answers.shown.isEmpty());

        // A folder that is not there and a type it does not write: said in an ERROR box.
        answers.saveAnswers << dir.filePath("none/a.png") << dir.filePath("a.bmp");
        save->trigger();
        save->trigger();
        QCOMPARE(answers.shown.size(), 2);
        for (const ShownMessage& m : answers.shown) {
            QCOMPARE(m.style, int(MbCritical));
            QCOMPARE(m.title, QStringLiteral("ERROR"));
        }
        QVERIFY(answers.shown[0].text.contains("none/a.png") && answers.shown[1].text.contains("a.bmp"));
        QVERIFY(!QFile::exists(dir.filePath("a.bmp")));

        form.Bild->clear();
        QVERIFY(!save->isEnabled());
        form.close();
    }

    // "Copy Text" beside it puts the text the hardcopy shows on the clipboard, line by line.
    void paneCopiesTheTextShown()
    {
        ScriptedDialogs answers;
        MainForm form(info());
        form.Form_Load();
        QAction* copy = form.Bild->copyTextAction();
        QVERIFY(form.Bild->actions().contains(copy));
        QCOMPARE(copy->text(), QStringLiteral("Copy Text"));
        QVERIFY(!copy->isEnabled());

        WmfBuilder b;
        b.font(-100, "Arial").select(0).textOut(500, 600, "FAILED").textOut(100, 100, "Limit check:");
        const QString wmf = dir.filePath(QStringLiteral("HC_0008.WMF"));
        writeFile(wmf, b.bytes());
        form.showPcFile(wmf, QStringLiteral("HC_0008.WMF"));
        QVERIFY(copy->isEnabled());
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Limit check:\nFAILED\n"));
        QVERIFY(answers.shown.isEmpty());
        form.close();
    }
};

QTEST_MAIN(MainFormTest)
#include "test_mainform.moc"

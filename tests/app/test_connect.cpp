// "Read QLX Directory" in the real window against the simulated tester, on both buses.
#include "app/mainform.h"

#include "tests/support/scripted_dialogs.h"
#include "tests/support/simulated_tester.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTimer>

using namespace qlx;

namespace {
const QString kGpibAdvice = QStringLiteral("ERROR! Please check cables and QLX interface setup\r\n"
                                           "SETUP -> REMOTE -> SCPI Connection -> Port must be set to GPIB");

QStringList items(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}
QColor statusColour(const MainForm& form) { return form.Status->palette().color(QPalette::Window); }

struct PaintCounter : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

class ConnectTest : public QObject {
    Q_OBJECT
    QTemporaryDir programDir;

    std::unique_ptr<MainForm> openForm(bool serial, const QString& address, const QStringList& args = {})
    {
        auto form =
            std::make_unique<MainForm>(StartupInfo{programDir.path(), QCoreApplication::applicationFilePath(), args});
        form->Form_Load();
        form->Route[serial ? 1 : 0]->click();
        form->AdrC->setText(address);
        return form;
    }

private slots:
    void gpibConnectListsSortedHardcopies()
    {
        SimulatedTester tester;
        for (const char* name : {"b.WMF", "A.wmf", "C.WMF", "notes.txt"})
            tester.addFile(QString::fromLatin1(name), "x");
        tester.useGpib();
        ScriptedDialogs dialogs;
        {
            auto form = openForm(false, QStringLiteral("20"));
            form->TestQLX->click();
            QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));
            QCOMPARE(form->Status->text(), QStringLiteral("connected"));
            QCOMPARE(statusColour(*form), QColor(0x00, 0xFF, 0x00));
            QCOMPARE(items(form->QLXFiles), QStringList({"A.wmf", "b.WMF", "C.WMF"}));
            QVERIFY(form->Connected && form->CanChangeDir);
            QVERIFY(form->CopyAll->isEnabled() && form->DelThis->isEnabled() && form->DeleteAll->isEnabled());
            form->close();
        }
        // The descriptor goes back to the library when the window closes, after the go-to-local.
        QCOMPARE(tester.busLog(),
                 QStringList({"ibdev(0,20,96,13,1,0)", "*IDN?", "ibloc(16)", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"",
                              "MMEM:SCAN?", "ibloc(16)", "ibloc(16)", "ibonl(16,0)"}));
    }

    // A library whose every call blocks: the window keeps answering while each call waits (its
    // timers fire, it repaints) and ends as it would at once; closing in the middle of a wait ends
    // it, the abandoned answer is cleared and the tester still goes back to local operation.
    void blockingLibraryLeavesTheWindowAlive()
    {
        SimulatedTester tester;
        tester.addFile(QStringLiteral("A.WMF"), "x");
        tester.useGpib();
        qputenv("QLXSIM_BLOCK_MS", "150");
        ScriptedDialogs dialogs;
        auto form = openForm(false, QStringLiteral("20"));
        PaintCounter paints;
        form->installEventFilter(&paints);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, form.get(), [&] {
            ++ticks;
            form->update();
        });
        timer.start(20);
        form->TestQLX->click();
        QVERIFY(ticks > 0 && paints.count > 0);
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.value(0).text));
        QCOMPARE(form->Status->text(), QStringLiteral("connected"));
        QCOMPARE(items(form->QLXFiles), QStringList{"A.WMF"});
        const auto calls = [&tester] {
            return tester.busLog().replaceInStrings(QRegularExpression("\\(\\d+(,0)?\\)$"), "");
        };
        QCOMPARE(calls(), QStringList({"ibdev(0,20,96,13,1,0)", "*IDN?", "ibloc", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"",
                                       "MMEM:SCAN?", "ibloc"}));

        const qsizetype mark = tester.busLog().size();
        QTimer::singleShot(380, form.get(), [&] { form->close(); }); // while "*IDN?" is written
        form->TestQLX->click();
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(dialogs.shown.isEmpty());
        QTRY_COMPARE(calls().mid(mark),
                     QStringList({"ibonl", "ibdev(0,20,96,13,1,0)", "*IDN?", "ibclr", "ibloc", "ibonl"}));
        qunsetenv("QLXSIM_BLOCK_MS");
    }

    void gpibFailuresEndNotConnected()
    {
        SimulatedTester tester;
        tester.useGpib();
        ScriptedDialogs dialogs;
        auto form = openForm(false, QStringLiteral("7")); // nobody answers there
        QGuiApplication::clipboard()->setText(QStringLiteral("old"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, kGpibAdvice);
        QCOMPARE(dialogs.shown[0].title, QStringLiteral("ERROR"));
        QCOMPARE(dialogs.shown[0].style, int(MbCritical));
        QCOMPARE(form->Status->text(), QStringLiteral("not connected"));
        QCOMPARE(statusColour(*form), QColor(0xFF, 0x00, 0x00));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());

        // An address outside the 16-bit range never reaches the bus.
        dialogs.shown.clear();
        tester.clearLog();
        form->AdrC->setText(QStringLiteral("70000"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(tester.busLog().isEmpty());

        // A board the PC cannot use: the cause on a line of its own before the advice.
        qputenv("QLXSIM_BOARD", "missing");
        dialogs.shown.clear();
        form->AdrC->setText(QStringLiteral("20"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("GPIB board 0 is not available (EDVR): is the linux-gpib module "
                                                       "loaded and `sudo gpib_config` run? See README\r\n")
                                            + kGpibAdvice);
        QCOMPARE(form->Status->text(), QStringLiteral("not connected"));
        qunsetenv("QLXSIM_BOARD");

        // A tester of the right maker without firmware field: the message carries the answer.
        tester.useGpib("Halvard&Brenn,QLX,1234");
        dialogs.shown.clear();
        form->AdrC->setText(QStringLiteral("20"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text,
                 QStringLiteral("ERROR: missing firmware information in *IDN? answer: \r\nHalvard&Brenn,QLX,1234\n"));
        QCOMPARE(QGuiApplication::clipboard()->text(), dialogs.shown[0].text);
        QVERIFY(!form->Connected);
        form->close();
    }

    void olderTesterInTheWrongDirectory()
    {
        SimulatedTester tester;
        const QString device = tester.startSerial({"--old-firmware", "--current-dir", "\\TEMP"});
        ScriptedDialogs dialogs;
        auto form = openForm(true, device);
        form->QLXFiles->addItem(QStringLiteral("stale.WMF"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown[0].text.startsWith(QStringLiteral("The read command is not executed")));
        QVERIFY(form->QLXFiles->count() == 0 && !form->CopyAll->isEnabled());
        QVERIFY(!QGuiApplication::clipboard()->text().isEmpty());
        QVERIFY(!tester.busLog().join(u'\n').contains(QStringLiteral("CDIR")));
        QCOMPARE(form->Status->text(), QStringLiteral("connected"));
        form->close();
    }

    void debugModeShowsWhatEachGpibReadReceived()
    {
        SimulatedTester tester;
        tester.useGpib();
        ScriptedDialogs dialogs;
        auto form = openForm(false, QStringLiteral("20"), {QStringLiteral("517306")});
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 4); // two for "*IDN?", two for the listing
        const QString idn = QStringLiteral("Halvard&Brenn,QLX,1234567/890,V3.10\n");
        QCOMPARE(dialogs.shown[0].text, idn + QString(500 - idn.size(), u' ')
                                            + QStringLiteral("\r\n-------------------\r\n")
                                            + QString::number(idn.size()));
        QCOMPARE(dialogs.shown[1].text, idn);
        QCOMPARE(dialogs.shown[1].style, int(MbPlain));
        QCOMPARE(form->Status->text(), QStringLiteral("connected"));

        // Nobody listens at 7: the write fails, no read follows, and the display names the call.
        dialogs.shown.clear();
        form->AdrC->setText(QStringLiteral("7"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 3); // two for "*IDN?", then the advice
        QCOMPARE(dialogs.shown[0].text, QString(500, u' ') + QStringLiteral("\r\n-------------------\r\n0\r\n")
                                            + QStringLiteral("ibwrt: ibsta 0x8000, iberr 2 (ENOL), ibcntl 0"));
        QCOMPARE(dialogs.shown[2].text, kGpibAdvice);
        form->close();
    }

    void busNotOpenedGivesTheAdviceWithoutSending()
    {
        SimulatedTester tester;
        const QString device = tester.startSerial();
        ScriptedDialogs dialogs;
        auto form = openForm(true, device);
        form->TestQLX->click();
        QVERIFY(form->Connected);
        form->Route[0]->click(); // GPIB was never opened
        tester.clearLog();
        form->ReadDirectory();
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].text, kGpibAdvice);
        QVERIFY(tester.busLog().isEmpty());
        form->close();
    }

    void closingDuringASerialWaitEndsItWithoutAdvice()
    {
        SimulatedTester tester;
        const QString device = tester.startSerial({"--fault", "silent:*IDN?"});
        ScriptedDialogs dialogs;
        auto form = openForm(true, device);
        QTimer::singleShot(200, form.get(), [&] {
            QVERIFY(form->exchangeInProgress());
            form->close();
            form->TestQLX->click(); // refused while the wait unwinds
        });
        form->TestQLX->click();
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(dialogs.shown.isEmpty());
        QTRY_COMPARE(tester.busLog(), QStringList({"*SEC 0\\n", "*IDN?\\n", "*GTL\\n"}));
    }

    void serialPortThatCannotBeOpened()
    {
        ScriptedDialogs dialogs;
        auto form = openForm(true, QStringLiteral("/dev/qlx-no-such-port"));
        form->TestQLX->click();
        QCOMPARE(dialogs.shown.size(), 1);
        QVERIFY(dialogs.shown[0].text.contains(QStringLiteral("Port must be set to COM1/2")));
        QCOMPARE(form->Status->text(), QStringLiteral("not connected"));
        form->close();
    }
};

QTEST_MAIN(ConnectTest)
#include "test_connect.moc"

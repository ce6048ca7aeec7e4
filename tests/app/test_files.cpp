// The tester's files and the PC side in the real window, against the simulated tester on GPIB,
// through the library, through a "++" adapter, through a VISA library and behind a LAN-GPIB
// gateway.
#include "app/mainform.h"
#include "link/visa/visalibrary.h"
#include "pcfiles/mainform_pcfilelist.h"

#include "tests/support/scripted_dialogs.h"
#include "tests/support/simulated_tester.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

using namespace qlx;

class FilesTest : public QObject {
    Q_OBJECT
    QTemporaryDir programDir;

private slots:
    void bulkCommandsAndPcList()
    {
        SimulatedTester tester;
        tester.addFile(QStringLiteral("A.WMF"), "aaaa");
        tester.addFile(QStringLiteral("B.wmf"), "bbbb");
        tester.useGpib();
        QTemporaryDir pc;
        QFile older(pc.filePath(QStringLiteral("B.wmf")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older");
        older.close();
        ScriptedDialogs dialogs;
        qsizetype mark = 0; // the bus log grows; each step checks what it added
        dialogs.folders << pc.path();
        MainForm form({programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form.Form_Load();
        form.ImgPath->click();
        QCOMPARE(form.PCPath, pc.path());
        QVERIFY(dialogs.pickerTitles.value(0).startsWith(
            QStringLiteral("Set store path for QLX images\r\nCurrent Path: ")));
        form.TestQLX->click();
        QCOMPARE(form.QLXFiles->count(), 2);

        // Copy-all: the overwrite question for B.wmf, answered No, in the middle of the loop.
        dialogs.shown.clear();
        dialogs.answers << AnswerNo;
        mark = tester.busLog().size();
        form.CopyAll->click();
        // Each file is shown after its transfer; these hold no metafile, so each gives an error.
        QStringList titles;
        for (const ShownMessage& m : dialogs.shown)
            titles << m.title;
        QCOMPARE(titles, QStringList({"ERROR", "OVERWRITE FILE?", "ERROR"}));
        QCOMPARE(form.Status->text(), QStringLiteral("ready"));
        QFile a(pc.filePath(QStringLiteral("A.WMF")));
        QVERIFY(a.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), QByteArray("aaaa"));
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("older"));
        older.close();
        // One go-to-local after the last file; a click has one after its file.
        const auto logFrom = [&tester](qsizetype from) {
            return tester.busLog().mid(from).replaceInStrings(QRegularExpression("^ibloc\\(\\d+\\)$"), "ibloc");
        };
        QCOMPARE(logFrom(mark), QStringList({"MMEM:DATA? \"A.WMF\"", "MMEM:DATA? \"B.wmf\"", "ibloc"}));
        mark = tester.busLog().size();
        form.QLXFiles->setCurrentRow(0);
        QCOMPARE(logFrom(mark), QStringList({"MMEM:DATA? \"A.WMF\"", "ibloc"}));

        // Delete one after Yes; nothing after No.
        form.QLXFiles->setCurrentRow(0);
        mark = tester.busLog().size();
        dialogs.answers = {AnswerNo};
        form.DelThis->click();
        QVERIFY(tester.busLog().mid(mark).filter(QStringLiteral("MMEM:")).isEmpty());
        dialogs.answers = {AnswerYes};
        form.QLXFiles->setCurrentRow(0);
        mark = tester.busLog().size();
        form.DelThis->click();
        QCOMPARE(tester.busLog().mid(mark).filter(QStringLiteral("MMEM:")),
                 QStringList({"MMEM:DEL \"A.WMF\",INT", "MMEM:CDIR \"\\\\USERDATA\\\\PRINT\"", "MMEM:SCAN?"}));
        QCOMPARE(form.QLXFiles->count(), 1);

        // The PC list: matching files only, the buttons off, a file gone behind its back.
        QFile(pc.filePath(QStringLiteral("notes.txt"))).open(QIODevice::WriteOnly);
        form.FileLocation[1]->click();
        QVERIFY(form.PCFileList->isVisible() && !form.QLXFiles->isVisible() && !form.CopyAll->isEnabled());
        QCOMPARE(form.PCFileList->count(), 2);
        QFile::remove(pc.filePath(QStringLiteral("A.WMF")));
        dialogs.shown.clear();
        form.PCFileList->setFocus();
        form.PCFileList->setCurrentRow(0); // as an arrow key moves it
        QVERIFY(dialogs.shown.isEmpty());
        QCOMPARE(form.PCFileList->count(), 1);
        // B.wmf holds no metafile: one error, no crash.
        QTest::keyClick(form.PCFileList, Qt::Key_Down);
        QCOMPARE(form.PCFileList->currentRow(), 0);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown.value(0).title, QStringLiteral("ERROR"));
        form.FileLocation[0]->click();
        QVERIFY(form.QLXFiles->isVisible() && form.CopyAll->isEnabled() && form.QLXFiles->count() == 1);
        form.close();
    }

    // Guards against hardcopies invisible in the window: a GPIB listing was cut at 10,000 bytes,
    // so with 600 files the last hundred never appeared in the list.
    void longListingFillsTheList()
    {
        SimulatedTester tester;
        for (int i = 1; i <= 600; ++i)
            tester.addFile(QStringLiteral("HC_%1.WMF").arg(i, 4, 10, QLatin1Char('0')), "x");
        tester.useGpib();
        ScriptedDialogs dialogs;
        MainForm form({programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form.Form_Load();
        form.TestQLX->click();
        QCOMPARE(form.QLXFiles->count(), 600);
        QCOMPARE(form.QLXFiles->item(599)->text(), QStringLiteral("HC_0600.WMF"));
        QVERIFY(dialogs.shown.isEmpty());
        form.close();
    }

    // Guards against the window writing a hardcopy through a symbolic link in the PC folder (over
    // a file elsewhere) or asking to overwrite what is no file: the link is reported and left.
    void linkUnderTheNameIsLeftAlone()
    {
        SimulatedTester tester;
        tester.addFile(QStringLiteral("A.WMF"), "aaaa");
        tester.useGpib();
        QTemporaryDir pc, outside;
        const QString victim = outside.filePath(QStringLiteral("victim"));
        QFile(victim).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(victim, pc.filePath(QStringLiteral("A.WMF"))));
        ScriptedDialogs dialogs;
        dialogs.folders << pc.path();
        MainForm form({programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form.Form_Load();
        form.ImgPath->click();
        form.TestQLX->click();
        dialogs.shown.clear();
        dialogs.answers << AnswerYes; // would answer an overwrite question, if one came
        form.QLXFiles->setCurrentRow(0);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].title, QStringLiteral("ERROR"));
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("The file ") + pc.filePath(QStringLiteral("A.WMF"))
                                            + QStringLiteral(" could not be written: a symbolic link has that name."));
        QCOMPARE(QFileInfo(victim).size(), 0);
        QVERIFY(QFileInfo(pc.filePath(QStringLiteral("A.WMF"))).isSymLink());
        form.close();
    }

    // The same road through a "++" adapter, a VISA library or a gateway: only the address box differs.
    void otherRoads_data()
    {
        addAdapterRows();
        QTest::newRow("visa") << QStringList{"visa"};
        QTest::newRow("gateway") << QStringList{"--gateway"};
    }
    void otherRoads()
    {
        QFETCH(QStringList, adapter);
        SimulatedTester tester;
        tester.addFile(QStringLiteral("A+1.WMF"), "one");
        tester.addFile(QStringLiteral("B.WMF"), "bee");
        visa::unload(); // loaded afresh: the library named now, or none
        qputenv("QLXCOPY_VISA_LIBRARY", "/nonexistent/libvisa.so");
        QString address;
        if (adapter == QStringList{"visa"}) {
            tester.useGpib();
            qputenv("QLXCOPY_VISA_LIBRARY", SimulatedTester::buildPath("libqlxsim-visa.so").toLocal8Bit());
            address = QStringLiteral("gpib0::20::instr");
        } else if (adapter == QStringList{"--gateway"}) {
            qputenv("QLXCOPY_PORTMAPPER_PORT", tester.startSerial(adapter).section(u':', 1).toLatin1());
            address = QStringLiteral("TCPIP0::127.0.0.1::gpib0,20::INSTR");
        } else {
            const QString where = tester.startSerial(adapter);
            QVERIFY(!where.isEmpty());
            address = QStringLiteral("20@") + where;
        }
        QTemporaryDir pc;
        QFile older(pc.filePath(QStringLiteral("B.WMF")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("older");
        older.close();
        ScriptedDialogs dialogs;
        dialogs.folders << pc.path();
        MainForm form({programDir.path(), QCoreApplication::applicationFilePath(), {}});
        form.Form_Load();
        form.ImgPath->click();
        form.AdrC->setText(address);
        form.TestQLX->click();
        QCOMPARE(form.Status->text(), QStringLiteral("connected"));
        QCOMPARE(form.QLXFiles->count(), 2);

        form.QLXFiles->setCurrentRow(0);
        QFile copied(pc.filePath(QStringLiteral("A+1.WMF")));
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), QByteArray("one"));
        dialogs.shown.clear();
        dialogs.answers = {AnswerYes, AnswerOk};
        form.QLXFiles->setCurrentRow(1);
        QCOMPARE(dialogs.shown.value(0).title, QStringLiteral("OVERWRITE FILE?"));
        QVERIFY(older.open(QIODevice::ReadOnly));
        QCOMPARE(older.readAll(), QByteArray("bee"));

        dialogs.answers = {AnswerYes};
        form.QLXFiles->setCurrentRow(0);
        form.DelThis->click();
        QCOMPARE(form.QLXFiles->count(), 1);
        form.close();
        QTRY_VERIFY(tester.endsInLocal());
        QFile settings(programDir.filePath(QStringLiteral("QLXCopy.INI")));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains(address.toLatin1())); // kept as typed
        const QStringList log = tester.busLog();
        QVERIFY(log.contains(QStringLiteral("MMEM:DATA? \"A+1.WMF\"")));
        QVERIFY(log.contains(QStringLiteral("MMEM:DEL \"A+1.WMF\",INT")));
        QCOMPARE(log.filter(QStringLiteral("eeprom-write")), QStringList());
        if (adapter.contains(QStringLiteral("ar488")))
            QCOMPARE(log.filter(QStringLiteral("savecfg")), QStringList());
        QVERIFY(!QFile::exists(tester.printDir + QStringLiteral("/A+1.WMF")));
    }
};

QTEST_MAIN(FilesTest)
#include "test_files.moc"

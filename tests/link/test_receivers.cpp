// The answer rules of every road and the serial receive routines, as pure state machines fed
// with scripted pieces, polls and times, and the small conversions of the transport.
#include "link/serial/receivers.h"
#include "link/transport.h"

#include <QTest>

#include "tests/support/recording_observer.h"

using namespace qlx;

using Recorder = RecordingObserver;

class TestReceivers : public QObject {
    Q_OBJECT
private slots:
    void textCompletesOnCrLf()
    {
        TextReceiver r(0.0);
        r.pass("HALV,QLX\r", 0.1);
        QVERIFY(!r.complete());
        r.pass("", 0.2);
        r.pass("\n", 0.3); // CR and LF in separate polls: complete with the LF
        QVERIFY(r.complete());
        QCOMPARE(r.answer(), QByteArray("HALV,QLX\r\n"));

        TextReceiver bare(0.0);
        bare.pass("\r\n", 1.0); // two characters are never a complete answer
        QVERIFY(!bare.complete());
        QVERIFY(!bare.expired(4.0));
        QVERIFY(bare.expired(4.01));
        QCOMPARE(bare.answer(), QByteArray("\r\n"));
    }

    void textTimeoutIgnoresSpacesOnly()
    {
        TextReceiver r(0.0);
        r.pass("   ", 2.0); // spaces alone do not restart the clock
        QVERIFY(r.expired(3.01));
        r.pass("x", 2.5);
        QVERIFY(!r.expired(5.4));
        r.pass("  ", 5.0); // once something else is there, spaces count as progress
        QVERIFY(!r.expired(7.9));
        QVERIFY(r.expired(8.01));
    }

    // Bytes that keep coming slower than the line carries them end an answer all the same.
    void tricklingAnswersEndAtTheirDeadline()
    {
        TextReceiver text(0.0);
        double t = 0.0;
        for (; !text.expired(t) && t < 100.0; t += 0.3)
            text.pass("+1.234E+00\n", t);
        QVERIFY2(t > 10.0 && t < 12.0, qPrintable(QString::number(t)));

        DataReceiver block(0.0, nullptr);
        block.pass("#41000", 0.0);
        for (t = 0.0; !block.expired(t) && t < 100.0; t += 0.5)
            block.pass("x", t);
        QVERIFY2(t > 12.0 && t < 13.0, qPrintable(QString::number(t))); // 10 s, then 1013 bytes at 480 a second
    }

    // Back in step only after the answer to every "*IDN?" owed, whatever came before or between
    // them (a late block that holds the same text does not count twice).
    void resyncWaitsForEveryIdentityOwed()
    {
        const QByteArray idn = "H&B,QLX,1,V3.10\r\n";
        ResyncReceiver r(0.0, idn, 2);
        r.pass("#3600late block H&B,QLX,1", 0.5);
        QCOMPARE(r.owed(), 2);
        r.pass(",V3.10\r\nH&B,QLX", 0.6); // the first answer straddles two polls
        QCOMPARE(r.owed(), 1);
        QVERIFY(!r.expired(5.5));
        QVERIFY(r.expired(5.7)); // 5 s without a byte
        r.pass(",1,V3.10\r\n", 5.6);
        QCOMPARE(r.owed(), 0);
    }

    void dataBlockWithLeadingZerosAndZeroBytes()
    {
        Recorder rec;
        DataReceiver r(10.0, &rec);
        const QByteArray data("ab\0\0cd\0ef\0gh", 12);
        r.pass("#8", 11.0);
        QCOMPARE(rec.countdowns, QStringList{"-1 s to go ..."}); // declared still 0: minus the elapsed time
        r.pass("00000012" + data.left(11), 12.0);                // the length digits are there: parsed
        QCOMPARE(rec.ranges, QList<int>{12});
        QCOMPARE(rec.values, QList<int>{11});
        QCOMPARE(rec.countdowns.last(), QString("0 s to go ...")); // 2 s * (12 - 11) / 11
        r.pass(data.right(1) + "\r", 13.0);
        QCOMPARE(r.state(), DataReceiver::State::Receiving);
        r.pass("\n", 13.5);
        QCOMPARE(r.state(), DataReceiver::State::Complete);
        QCOMPARE(r.takeData(), data);
    }

    // Each of these answers used to be taken for a hardcopy (or, for the short one, never finished),
    // and a move then deleted the tester's copy on the strength of it.
    void dataBlockProvesItself()
    {
        const auto fed = [](const QByteArray& answer, qint64 expected = -1) {
            DataReceiver r(0.0, nullptr, expected);
            r.pass(answer, 0.1);
            return r;
        };
        DataReceiver tiny = fed("#15abcde\r\n"); // a 5-byte file needs no 21 characters
        QCOMPARE(tiny.state(), DataReceiver::State::Complete);
        QCOMPARE(tiny.takeData(), QByteArray("abcde"));

        DataReceiver listedOtherwise = fed("#42012" + QByteArray(2212, 'x') + "\r\n", 2212);
        QCOMPARE(listedOtherwise.state(), DataReceiver::State::Mismatch);
        QCOMPARE(listedOtherwise.detail(), QString("the tester sent 2012 bytes, its listing says 2212"));

        QCOMPARE(fed("#14abcdEXTRA\r\n").state(), DataReceiver::State::Malformed); // padded
        QCOMPARE(fed("#14abcd\r\nMORE").state(), DataReceiver::State::Malformed);  // more after it
        QCOMPARE(fed("#14abcd\n\r").state(), DataReceiver::State::Malformed);      // no CR LF

        DataReceiver late = fed("#14abcd\r\n", 4);
        QCOMPARE(late.state(), DataReceiver::State::Complete);
        late.pass("#14wxyz\r\n", 0.2); // bytes after the end refuse the block
        QCOMPARE(late.state(), DataReceiver::State::Malformed);
        QVERIFY(late.takeData().isEmpty());
    }

    void dataHeaderChecks()
    {
        DataReceiver garbage(0.0, nullptr);
        garbage.pass("ERR", 0.1);
        QCOMPARE(garbage.state(), DataReceiver::State::Malformed);

        DataReceiver badDigits(0.0, nullptr);
        badDigits.pass("#3", 0.1);
        badDigits.pass("1x", 0.2);
        QCOMPARE(badDigits.state(), DataReceiver::State::Malformed);

        DataReceiver huge(0.0, nullptr);
        huge.pass("#9999999999" + QByteArray(10, 'z'), 0.1);
        QCOMPARE(huge.state(), DataReceiver::State::TooLarge);

        DataReceiver empty(0.0, nullptr);
        empty.pass("#10\r\n", 0.1);
        QCOMPARE(empty.state(), DataReceiver::State::Complete);
        QVERIFY(empty.takeData().isEmpty());

        // The indefinite-length form carries data that an empty result would lose.
        DataReceiver indefinite(0.0, nullptr);
        indefinite.pass("#0" + QByteArray(19, 'z'), 0.1);
        QCOMPARE(indefinite.state(), DataReceiver::State::Malformed);
        QVERIFY(!blockHeaderPlausible("#0"));

        QVERIFY(blockHeaderPlausible(""));
        QVERIFY(blockHeaderPlausible("#21"));
        QVERIFY(blockHeaderPlausible("#210abc")); // the data after the digits is not checked
        QVERIFY(!blockHeaderPlausible("#x"));
        QCOMPARE(digitsValue("00000012"), 12);
    }

    // One proof for every road; what differs is how an answer ends. With END (a library or a
    // gateway), END comes with the line end's last byte and with no byte before it, and an answer
    // that ends early broke off where it ended. Without END, a byte after the line end refuses
    // the block, and on the serial line LF alone is no line end.
    void blockProofPerRoad()
    {
        const auto read = [](AnswerEnd road, const QList<QByteArray>& pieces, bool endOnLast = true) {
            BlockReader block(road);
            for (qsizetype i = 0; i < pieces.size(); ++i)
                block.feed(pieces[i], endOnLast && i == pieces.size() - 1);
            return block;
        };
        BlockReader gpib(kGpibEnd);
        for (const QByteArray piece : {"#2", "10", "0123456789", "\r", "\n"}) {
            QCOMPARE(gpib.wanted(), piece.size()); // each read asks for exactly what comes next
            gpib.feed(piece, piece == "\n");
        }
        QCOMPARE(gpib.verdict(), std::optional(Outcome::Ok));
        QCOMPARE(gpib.takeData(), QByteArray("0123456789"));
        QCOMPARE(read(kGpibEnd, {"#14abcd", "\n"}).state(), BlockReader::State::Complete);
        for (const auto& pieces : QList<QList<QByteArray>>{{"#14abcd"}, {"#14abcd", "\r"}, {"#10"}})
            QCOMPARE(read(kGpibEnd, pieces).detail(), kNoLineEndText); // END before the line end's last byte
        QCOMPARE(read(kGpibEnd, {"#14abcd", "\n"}, false).detail(), kNoLineEndText); // no END with it
        const BlockReader cut = read(kGpibEnd, {"#14ab"});
        QCOMPARE(cut.verdict(), std::optional(Outcome::ShortRead));
        QCOMPARE(cut.detail(), QString("the answer broke off before the 4 bytes it announced"));
        QCOMPARE(read(kGpibEnd, {"#4"}).detail(), QString("the answer broke off in the block header"));
        QCOMPARE(read(kGpibEnd, {"#0"}).detail(), kNotABlockText);

        BlockReader adapter = read(kAdapterEnd, {"#14abcd\n"}, false);
        QCOMPARE(adapter.state(), BlockReader::State::Complete);
        adapter.feed("x");
        QCOMPARE(adapter.detail(), kTrailingBytesText);
        QCOMPARE(read(kSerialEnd, {"#14abcd\n"}, false).detail(), kNoLineEndText);
    }

    // A text answer ends with END where the road has it, else at its line end; past the limit it
    // is refused.
    void textEndsPerRoad()
    {
        TextReader gpib(kGpibEnd);
        gpib.feed("line\n");
        QVERIFY(!gpib.complete());
        gpib.feed("more", true);
        QVERIFY(gpib.complete());
        TextReader adapter(kAdapterEnd);
        adapter.feed("\n");
        QVERIFY(adapter.complete());
        TextReader serial(kSerialEnd);
        serial.feed("a\n");
        QVERIFY(!serial.complete());

        TextReader huge(kAdapterEnd);
        huge.feed(QByteArray(kMaxTextAnswer, 'x'));
        QCOMPARE(huge.room(), 1);
        QVERIFY(!huge.done());
        huge.feed("x");
        QVERIFY(huge.tooLarge() && huge.done());
    }

    void countdownFormatting()
    {
        QCOMPARE(countdownText(12.4), QString("12 s to go ..."));
        QCOMPARE(countdownText(12.5), QString("13 s to go ..."));
        QCOMPARE(countdownText(-2.5), QString("-3 s to go ..."));
        QCOMPARE(countdownText(-0.2), QString("-0 s to go ..."));
    }

    void addressConversions()
    {
        QCOMPARE(addressValue("20.5"), std::optional<qint16>(20)); // half to even
        QCOMPARE(addressValue("21.5"), std::optional<qint16>(22));
        QCOMPARE(addressValue(""), std::optional<qint16>(0));
        QCOMPARE(addressValue(" 7xyz"), std::optional<qint16>(7));
        QCOMPARE(addressValue("32767.5"), std::nullopt);
#ifndef Q_OS_WIN
        QCOMPARE(serialPortName("3"), QString("/dev/ttyS2"));
#else
        QCOMPARE(serialPortName("3"), QString("COM3"));
#endif
        QCOMPARE(serialPortName("/dev/pts/7"), QString("/dev/pts/7"));
        QCOMPARE(serialPortName("0"), QString());
        QCOMPARE(serialPortName("99999"), QString());
    }
};

QTEST_GUILESS_MAIN(TestReceivers)
#include "test_receivers.moc"

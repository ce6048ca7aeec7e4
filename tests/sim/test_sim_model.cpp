// The simulated tester's model: its directories, the names it accepts, the faults, the line
// pacing schedule and the sample hardcopies.
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "sim/model.h"
#include "sim/pacer.h"
#include "sim/sample_screens.h"
#include "sim/wmf_writer.h"
#include "tests/support/listing_check.h"

using namespace qlxsim;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string answerOf(Tester& tester, const std::string& command)
{
    const auto answer = tester.handle(command);
    return answer ? answer->bytes : "<none>";
}

std::uint16_t word(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at])
                                      | (static_cast<unsigned char>(bytes[at + 1]) << 8));
}
std::uint32_t dword(const std::string& bytes, std::size_t at)
{
    return word(bytes, at) | (std::uint32_t(word(bytes, at + 2)) << 16);
}

} // namespace

class TestSimModel : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    fs::path folder() const { return dir_.path().toStdString(); }

    Config config() const
    {
        Config c;
        c.folder = folder();
        return c;
    }

private slots:
    void init()
    {
        for (const auto& entry : fs::directory_iterator(folder()))
            fs::remove_all(entry.path());
        writeFile(folder() / "B.WMF", "bee");
        writeFile(folder() / "a.wmf", "a");
        writeFile(folder() / "NOTE.TXT", "note");
    }

    void otherDirectoriesListEmptyWithoutProductWord()
    {
        Tester tester(config());
        tester.handle("MMEM:CDIR \"\\USERDATA\"");
        const std::string other = answerOf(tester, "MMEM:SCAN?");
        QCOMPARE(other, std::string("00002,\"\\USERDATA\",FREE 0,LABEL \"USER DATA\",\".\",DIR,0,\"..\",DIR,0\r\n"));
        QVERIFY(!hardcopiesInListing(other, true));
        tester.handle("MMEM:CDIR \"PRINT\""); // relative to the current directory
        QCOMPARE(hardcopiesInListing(answerOf(tester, "MMEM:SCAN?"), true)->size(), 2);
    }

    void olderFirmwareIgnoresDirectoryChange()
    {
        Config c = config();
        c.oldFirmware = true;
        c.currentDir = "\\";
        Tester tester(c);
        tester.handle("MMEM:CDIR \"\\USERDATA\\PRINT\"\n");
        QCOMPARE(tester.currentDir(), std::string("\\"));
        QVERIFY(!hardcopiesInListing(answerOf(tester, "MMEM:SCAN?\n"), true));
        c.currentDir = "\\userdata\\print\\";
        Tester rightDir(c);
        QCOMPARE(hardcopiesInListing(answerOf(rightDir, "MMEM:SCAN?\n"), true)->size(), 2);
    }

    void namesNeverLeaveTheFolder()
    {
        fs::create_directory(folder() / "sub");
        writeFile(folder() / "sub" / "IN.WMF", "x");
        Tester tester(config());
        for (const char* command :
             {"MMEM:DATA? \"../B.WMF\"", "MMEM:DATA? \"sub/IN.WMF\"", "MMEM:DATA? \"sub\\IN.WMF\"",
              "MMEM:DATA? \"MISSING.WMF\"", "MMEM:DATA? \"sub\"", "MMEM:DATA? B.WMF", "MMEM:DATA? \"\""}) {
            QCOMPARE(answerOf(tester, command), std::string("<none>"));
        }
        tester.handle("MMEM:DEL \"sub/IN.WMF\",INT");
        QVERIFY(fs::exists(folder() / "sub" / "IN.WMF"));
        QVERIFY(!isPlainName("a\x01.WMF") && !isPlainName("a,b.WMF") && isPlainName("HC_0001.WMF"));
    }

    void faults()
    {
        Config c = config();
        c.fault = parseFault("stop-mid-block").value();
        Tester stop(c);
        const auto half = stop.handle("MMEM:DATA? \"B.WMF\"");
        QCOMPARE(half->bytes, std::string("#13")); // "#13bee" cut in half
        QVERIFY(!half->complete);
        QCOMPARE(answerOf(stop, "*IDN?"), std::string(kIdentity) + "\r\n"); // other queries unharmed

        c.fault = parseFault("no-terminator").value();
        QCOMPARE(answerOf(*std::make_unique<Tester>(c), "*IDN?"), std::string(kIdentity));

        c.fault = parseFault("silent:MMEM:SCAN?").value();
        Tester silent(c);
        QCOMPARE(answerOf(silent, "MMEM:SCAN?"), std::string("<none>"));
        QCOMPARE(answerOf(silent, "*IDN?"), std::string(kIdentity) + "\r\n");

        c.fault = parseFault("garbage").value();
        const std::string junk = answerOf(*std::make_unique<Tester>(c), "*IDN?");
        QVERIFY(junk.ends_with("\r\n") && junk.size() > 8 && junk != std::string(kIdentity) + "\r\n");
        for (char ch : junk.substr(0, junk.size() - 2))
            QVERIFY(ch > ' ' && ch < 0x7F);

        QVERIFY(!parseFault("explode"));
    }

    void pacingScheduleIsAbsolute()
    {
        Pacer pacer(19200);
        const auto t0 = Pacer::Clock::now();
        pacer.wake(t0);
        QCOMPARE(pacer.allowance(t0), std::size_t(0));
        QCOMPARE(pacer.allowance(t0 + std::chrono::seconds(1)), std::size_t(1920));
        pacer.sent(1000);
        QCOMPARE(pacer.allowance(t0 + std::chrono::seconds(1)), std::size_t(920));
        pacer.wake(t0 + std::chrono::milliseconds(100)); // still sending: the schedule stays
        QCOMPARE(pacer.allowance(t0 + std::chrono::seconds(2)), std::size_t(2840));
        QVERIFY(!Pacer(0).paced());
    }

    // Every sample hardcopy is a well-formed placeable metafile whose records end with EOF.
    void sampleHardcopies()
    {
        const auto files = sampleFiles();
        QStringList names, widths;
        for (const auto& file : files) {
            names << QString::fromStdString(file.name);
            if (!QString::fromStdString(file.name).toUpper().endsWith(".WMF"))
                continue;
            const std::string& b = file.bytes;
            QVERIFY(b.size() > 22 + 18 + 6 && b.size() % 2 == 0);
            QCOMPARE(dword(b, 0), 0x9AC6CDD7u);
            QCOMPARE(word(b, 20), placeableChecksum(b.substr(0, 20)));
            widths << QString::number(word(b, 10));
            QCOMPARE(word(b, 22 + 2), std::uint16_t(9));
            QCOMPARE(dword(b, 22 + 6), std::uint32_t((b.size() - 22) / 2));
            std::size_t at = 22 + 18;
            std::uint32_t largest = 0;
            while (true) {
                const std::uint32_t size = dword(b, at);
                QVERIFY(size >= 3 && at + 2 * size <= b.size());
                largest = std::max(largest, size);
                if (word(b, at + 4) == 0)
                    break;
                at += 2 * size;
            }
            QCOMPARE(at + 6, b.size());
            QCOMPARE(dword(b, 22 + 12), largest);
        }
        QVERIFY(names.contains("HC_0001.WMF") && names.contains("trace_02.wmf") && names.contains("SETUP.TXT"));
        QVERIFY(widths.contains("640") && widths.contains("800") && widths.contains("1024"));
    }
};

QTEST_GUILESS_MAIN(TestSimModel)
#include "test_sim_model.moc"

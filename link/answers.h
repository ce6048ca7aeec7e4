#pragma once
// The rules a tester's answer keeps, whichever road brought it: a text answer is read whole, up to
// its end (TextReader), and a definite-length block must prove itself (BlockReader) before a
// hardcopy counts as copied. Both are pure state machines fed with the bytes as they come; what
// differs between the roads is how an answer ends (AnswerEnd). Each road reads, waits and feeds.

#include "link/linktypes.h"

#include <QByteArrayView>

#include <optional>

namespace qlx {

// Limits on what the tester may announce or send.
inline constexpr qint64 kMaxBlockLength = 64ll * 1024 * 1024;
// A listing of the print directory is read whole however long it is, up to this bound.
inline constexpr qint64 kMaxTextAnswer = 16ll * 1024 * 1024;

// How a road ends an answer.
struct AnswerEnd {
    // LF alone ends a line (the IEEE bus), or only CR LF does (the serial line).
    bool lfAlone;
    // The road marks an answer's last byte with END. Without it, an answer is over when nothing
    // follows it for a moment: the road waits for that quiet and feeds what came meanwhile.
    bool endMark;
    // Bytes a text answer holds at least, its line end included (roads without END).
    qsizetype shortestText;
};
// The IEEE bus through a library or a LAN gateway: LF or CR LF, END with the last byte.
inline constexpr AnswerEnd kGpibEnd{true, true, 1};
// The IEEE bus through a "++" adapter, which does not pass END on: LF or CR LF, then quiet.
inline constexpr AnswerEnd kAdapterEnd{true, false, 1};
// The serial line: exactly CR LF, then quiet; a CR LF alone is no text answer.
inline constexpr AnswerEnd kSerialEnd{false, false, 3};

// A text answer read whole: complete with END where the road has it, else at its line end;
// refused past kMaxTextAnswer however it goes on.
class TextReader {
public:
    explicit TextReader(AnswerEnd road) : m_road(road) {}
    // `end`: the last of `bytes` carried END.
    void feed(QByteArrayView bytes, bool end = false);
    bool complete() const;
    bool tooLarge() const { return textTooLarge(m_text.size()); }
    // Nothing more belongs to the answer, or nothing more is taken of it.
    bool done() const { return complete() || tooLarge(); }
    // The most bytes that still count: up to just past the limit, where the answer is refused.
    qint64 room() const { return kMaxTextAnswer + 1 - m_text.size(); }
    const QByteArray& text() const { return m_text; }

    static bool textTooLarge(qint64 size) { return size > kMaxTextAnswer; }

private:
    AnswerEnd m_road;
    QByteArray m_text;
    bool m_end = false;
};

// What a refused block was, in words: "the tester sent 2012 bytes, its listing says 2212".
QString lengthMismatchText(qint64 declared, qint64 listed);
inline const QString kNotABlockText = QStringLiteral("the answer is not a data block");
inline const QString kNoLineEndText = QStringLiteral("the block is not followed by its line end");
inline const QString kTrailingBytesText = QStringLiteral("more bytes follow the block than it announced");

// True while the bytes seen so far can still begin a definite-length block header:
// '#', one digit n from 1 to 9, then n digits (checks only as far as bytes are present). A digit
// count of 0 is the indefinite-length form, whose data would be taken for an empty block.
bool blockHeaderPlausible(QByteArrayView head);

// Value of a run of decimal digits (the length field); the caller checks they are digits.
qint64 digitsValue(QByteArrayView digits);

// A definite-length block that is the whole answer: '#', a digit n from 1 to 9, n length digits,
// exactly that many data bytes, the road's line end, and nothing else. On a road with END, END
// comes with the line end's last byte and with no byte before it. With `expectedLength` (the size
// the listing gave, -1 for none) a header that announces another length refuses the block as soon
// as it is read.
class BlockReader {
public:
    enum class State { Receiving, Complete, Malformed, Mismatch, TooLarge, BrokenOff };

    explicit BlockReader(AnswerEnd road, qint64 expectedLength = -1) : m_road(road), m_expected(expectedLength) {}
    // Bytes of the answer as they came; `end`: the last of them carried END, which ends the answer.
    // Bytes after a complete block refuse it.
    void feed(const QByteArray& bytes, bool end = false);
    // The answer ended or stopped here (a read came back short): what the block still lacks it
    // lacks for good.
    void breakOff();

    State state() const { return m_state; }
    // How the block ended, as the transport reports it; nullopt while it is received.
    std::optional<Outcome> verdict() const;
    // Why the block was refused; empty while it is not.
    const QString& detail() const { return m_detail; }
    // The length the header announced, once read and accepted; -1 before.
    qint64 declared() const { return m_declared; }
    // The bytes fed so far: of the header while it is read, then those after it.
    qint64 received() const { return m_declared >= 0 ? m_fed - m_header.size() : m_fed; }
    // All data bytes are there: the line end comes next.
    bool atLineEnd() const { return m_declared >= 0 && m_data.size() == m_declared; }
    // The fewest bytes the block needs next: the rest of the mark and digit count, the length
    // digits, the data, one byte of the line end.
    qint64 wanted() const;
    // The `declared` data bytes, once complete.
    QByteArray takeData();

private:
    qsizetype takeHeader(const QByteArray& bytes);
    void readLength();
    qsizetype takeData(const QByteArray& bytes, qsizetype at);
    qsizetype takeLineEnd(const QByteArray& bytes, qsizetype at, bool end);
    void refuse(State state, const QString& detail);

    AnswerEnd m_road;
    qint64 m_expected;
    qint64 m_declared = -1;
    qint64 m_fed = 0;
    QByteArray m_header;
    QByteArray m_data;
    QByteArray m_lineEnd;
    State m_state = State::Receiving;
    QString m_detail;
};

} // namespace qlx

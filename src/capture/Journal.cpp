#include "capture/Journal.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "capture/InputFile.h"
#include "capture/TargetFile.h"

namespace {
// The fields of a line: the one place where their names stand.
constexpr char kTime[] = "time";
constexpr char kEvent[] = "event";
constexpr char kChannel[] = "channel";
constexpr char kWidth[] = "width";
constexpr char kHeight[] = "height";
constexpr char kMode[] = "mode";
constexpr char kColour[] = "colour";
constexpr char kBytes[] = "bytes";
constexpr char kSeconds[] = "seconds";
constexpr char kBytesPerSecond[] = "bytes_per_second";
constexpr char kTries[] = "tries";
constexpr char kResult[] = "result";
constexpr char kFile[] = "file";
constexpr char kMessage[] = "message";
constexpr char kModem[] = "modem";
constexpr char kSite[] = "site";
constexpr char kDevice[] = "device";
constexpr char kDialSeconds[] = "dial_seconds";
constexpr char kOffHookSeconds[] = "offhook_seconds";
constexpr char kPicturesOk[] = "pictures_ok";
constexpr char kPicturesFailed[] = "pictures_failed";
constexpr char kCheck[] = "check";
constexpr char kMean[] = "mean";
constexpr char kSpread[] = "spread";
constexpr char kHash[] = "hash";

// The event of a whole round's line.
constexpr char kRoundEvent[] = "round";

QLatin1String Key(const char* key) {
    return QLatin1String(key);
}

// Rotated copies looked for at most.
constexpr int kMaxRotations = 1000;

// Something has that name, whatever it is (a link that leads nowhere included).
bool Present(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() || info.isSymLink();
}

// ISO 8601 with the offset from UTC, "+00:00" included, so that lines from both sides of
// a clock change stay in order.
QString IsoTime(const QDateTime& t) {
    const int offset = t.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

QByteArray JournalLine(const CCaptureEvent& e) {
    QJsonObject o;
    o.insert(Key(kTime), IsoTime(e.m_time));
    o.insert(Key(kEvent), QString::fromStdString(e.m_sEvent));
    o.insert(Key(kChannel),
             e.m_iChannel > 0 ? QJsonValue(e.m_iChannel) : QJsonValue(QJsonValue::Null));
    o.insert(Key(kWidth), e.m_nWidth);
    o.insert(Key(kHeight), e.m_nHeight);
    o.insert(Key(kMode), e.m_iMode);
    o.insert(Key(kColour), e.m_bColour);
    o.insert(Key(kBytes), static_cast<qint64>(e.m_nBytes));
    const double seconds = std::round(e.m_dSeconds * 1000) / 1000;
    o.insert(Key(kSeconds), seconds);
    o.insert(Key(kBytesPerSecond),
             seconds > 0
                 ? static_cast<qint64>(std::llround(static_cast<double>(e.m_nBytes) / seconds))
                 : qint64{0});
    o.insert(Key(kTries), e.m_nTries);
    o.insert(Key(kResult), QString::fromStdString(e.m_sResult));
    if (!e.m_sFile.empty())
        o.insert(Key(kFile), QString::fromStdString(e.m_sFile));
    if (!e.m_sMessage.empty())
        o.insert(Key(kMessage), QString::fromStdString(e.m_sMessage));
    if (!e.m_sModem.empty())
        o.insert(Key(kModem), QString::fromStdString(e.m_sModem));
    if (!e.m_sSite.empty())
        o.insert(Key(kSite), QString::fromStdString(e.m_sSite));
    if (e.m_check) {
        // One decimal says all a limit needs.
        const auto tenth = [](double value) { return std::round(value * 10) / 10; };
        o.insert(Key(kCheck), QLatin1String(PictureCheckName(e.m_check->m_eCheck)));
        o.insert(Key(kMean), tenth(e.m_check->m_measure.m_dMean));
        o.insert(Key(kSpread), tenth(e.m_check->m_measure.m_dSpread));
        o.insert(Key(kHash), QString::fromStdString(PictureHashText(e.m_check->m_measure.m_nHash)));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

namespace {
double Rounded(double seconds) {
    return std::round(seconds * 1000) / 1000;
}

bool AppendLine(const std::string& path, const QByteArray& line, std::string* error) {
    if (!MakeFolders(QFileInfo(QString::fromStdString(path)).absolutePath().toStdString(), error))
        return false;
    return AppendWhole(path, std::vector<uint8_t>(line.begin(), line.end()), error);
}
}  // namespace

bool AppendJournal(const std::string& path, const CCaptureEvent& event, std::string* error) {
    return AppendLine(path, JournalLine(event), error);
}

QByteArray JournalLine(const CRoundEvent& e) {
    QJsonObject o;
    o.insert(Key(kTime), IsoTime(e.m_time));
    o.insert(Key(kEvent), Key(kRoundEvent));
    o.insert(Key(kDevice), QString::fromStdString(e.m_sDevice));
    if (!e.m_sSite.empty())
        o.insert(Key(kSite), QString::fromStdString(e.m_sSite));
    o.insert(Key(kDialSeconds), Rounded(e.m_dDialSeconds));
    o.insert(Key(kOffHookSeconds), Rounded(e.m_dOffHookSeconds));
    o.insert(Key(kPicturesOk), e.m_nPicturesOk);
    o.insert(Key(kPicturesFailed), e.m_nPicturesFailed);
    o.insert(Key(kBytes), static_cast<qint64>(e.m_nBytes));
    o.insert(Key(kResult), QString::fromStdString(e.m_sResult));
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool AppendJournal(const std::string& path, const CRoundEvent& event, std::string* error) {
    return AppendLine(path, JournalLine(event), error);
}

bool ReadJournalBackwards(const std::string& path, const CLineTake& take, std::string* error) {
    bool more = true;
    std::string why;
    if (!ReadLinesBackwards(path, take, more, &why)) {
        *error = "Journal " + path + " " + why;
        return false;
    }
    // A rotated copy that cannot be read is named; the older ones are read all the same.
    std::string problems;
    for (int n = 1; more && n <= kMaxRotations; ++n) {
        const std::string plain = path + "." + std::to_string(n);
        const std::string packed = plain + ".gz";
        bool read = true;
        std::string copy = plain;
        if (Present(plain)) {
            read = ReadLinesBackwards(plain, take, more, &why);
        } else if (Present(packed)) {
            copy = packed;
            read = ReadGzipLinesBackwards(packed, take, more, &why);
        } else {
            break;
        }
        if (!read)
            problems +=
                (problems.empty() ? "" : "; ") + ("Journal " + copy + " " + why) + "; übersprungen";
    }
    if (!problems.empty())
        *error = problems;
    return problems.empty();
}

namespace {

constexpr qint64 kDaySeconds = 24 * 3600;

// What a key of a line gives its entry: a text, a number or the channel; the others are
// read past.
enum class EField : uint8_t { kText, kNumber, kChannel };
struct CField {
    std::string_view m_name;
    EField m_eKind;
    std::string_view CJournalEntry::*m_text = nullptr;
    double CJournalEntry::*m_number = nullptr;
};
constexpr std::array<CField, 16> kFields = {{
    {kTime, EField::kText, &CJournalEntry::m_time},
    {kEvent, EField::kText, &CJournalEntry::m_event},
    {kResult, EField::kText, &CJournalEntry::m_result},
    {kSite, EField::kText, &CJournalEntry::m_site},
    {kMessage, EField::kText, &CJournalEntry::m_message},
    {kFile, EField::kText, &CJournalEntry::m_file},
    {kDevice, EField::kText, &CJournalEntry::m_device},
    {kCheck, EField::kText, &CJournalEntry::m_check},
    {kHash, EField::kText, &CJournalEntry::m_hash},
    {kBytes, EField::kNumber, nullptr, &CJournalEntry::m_dBytes},
    {kSeconds, EField::kNumber, nullptr, &CJournalEntry::m_dSeconds},
    {kBytesPerSecond, EField::kNumber, nullptr, &CJournalEntry::m_dRate},
    {kOffHookSeconds, EField::kNumber, nullptr, &CJournalEntry::m_dOffhook},
    {kMean, EField::kNumber, nullptr, &CJournalEntry::m_dMean},
    {kSpread, EField::kNumber, nullptr, &CJournalEntry::m_dSpread},
    {kChannel, EField::kChannel},
}};

// A line parsed whole keeps a copy of each text.
static_assert(std::count_if(kFields.begin(), kFields.end(), [](const CField& f) {
                  return f.m_eKind == EField::kText;
              }) == sizeof(CJournalEntry::m_own) / sizeof(std::string));

// The fields by the length and the first letter of their keys: no two share both, so a
// key is compared with one field at most.
constexpr size_t kLongestKey = 16;
constexpr auto kFieldByShape = [] {
    std::array<std::array<uint8_t, 26>, kLongestKey + 1> shape{};
    for (size_t i = 0; i < kFields.size(); ++i) {
        const std::string_view name = kFields[i].m_name;
        if (name.size() > kLongestKey || name[0] < 'a' || name[0] > 'z')
            throw "a key too long or not beginning with a small letter";
        uint8_t& at = shape[name.size()][static_cast<size_t>(name[0] - 'a')];
        if (at != 0)
            throw "two keys of the same length and first letter";
        at = static_cast<uint8_t>(i + 1);
    }
    return shape;
}();

// The field of a key; none for a key the entry does not hold.
const CField* FieldOf(std::string_view key) {
    if (key.empty() || key.size() > kLongestKey || key[0] < 'a' || key[0] > 'z')
        return nullptr;
    const uint8_t at = kFieldByShape[key.size()][static_cast<size_t>(key[0] - 'a')];
    if (at == 0)
        return nullptr;
    // Short enough that a call to compare them costs more than the comparison.
    const std::string_view name = kFields[at - 1].m_name;
    for (size_t i = 1; i < key.size(); ++i)
        if (key[i] != name[i])
            return nullptr;
    return &kFields[at - 1];
}

constexpr bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int WholeNumber(double d) {
    return d >= 0 && d <= 1e9 && d == std::floor(d) ? static_cast<int>(d) : 0;
}

// Each byte within a string as the scanner sees it.
enum class EInString : uint8_t { kPlain, kQuote, kRefused, kBeyondAscii };
constexpr std::array<EInString, 256> kInString = [] {
    std::array<EInString, 256> kinds{};
    // A control character but a tab or a line's end, and an escape, are left to the parser.
    for (int c = 0; c < 0x20; ++c)
        kinds[c] = IsSpace(static_cast<char>(c)) ? EInString::kPlain : EInString::kRefused;
    kinds['"'] = EInString::kQuote;
    kinds['\\'] = EInString::kRefused;
    for (int c = 0x80; c < 0x100; ++c)
        kinds[c] = EInString::kBeyondAscii;
    return kinds;
}();

// Whether the text holds neither an escape, nor a control character, nor a byte beyond
// ASCII: eight bytes at a time, as most texts are.
bool IsPlainAscii(std::string_view text) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    // Some byte of x below n (n at most 0x80), exactly.
    const auto below = [](uint64_t x, uint64_t n) { return (x - kOnes * n) & ~x & kHigh; };
    for (size_t i = 0; i < text.size(); i += 8) {
        // The last bytes filled up with plain ones.
        uint64_t x = kOnes * 'a';
        std::memcpy(&x, text.data() + i, std::min<size_t>(8, text.size() - i));
        if ((x & kHigh) | below(x, 0x20) | below(x ^ (kOnes * '\\'), 1))
            return false;
    }
    return true;
}

// The end of the number that starts at p, as JSON writes one; nullptr when none starts.
const char* NumberEnd(const char* p, const char* e) {
    const auto digits = [&] {
        if (p == e || !IsDigit(*p))
            return false;
        while (p < e && IsDigit(*p))
            ++p;
        return true;
    };
    if (p < e && *p == '-')
        ++p;
    if (p < e && *p == '0')
        ++p;
    else if (!digits())
        return nullptr;
    if (p < e && *p == '.' && (++p, !digits()))
        return nullptr;
    if (p < e && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < e && (*p == '+' || *p == '-'))
            ++p;
        if (!digits())
            return nullptr;
    }
    return p;
}

// The fields of a line as capture writes it: one object of strings, numbers, true, false
// and null, without escapes. False for anything else, which ParseLine then reads (or
// refuses). Parsing every line whole took most of the report's time; so the line is gone
// through once, and only the numbers of the entry's fields are converted.
bool ScanLine(QByteArrayView line, CJournalEntry& f) {
    const char* p = line.data();
    const char* const e = p + line.size();
    const auto skip = [&] {
        while (p < e && IsSpace(*p))
            ++p;
    };
    // A string without escapes, in valid UTF-8.
    const auto string = [&](std::string_view& out) {
        const char* const from = ++p;  // after the opening quote
        const void* const quote = std::memchr(p, '"', static_cast<size_t>(e - p));
        if (quote == nullptr)
            return false;
        p = static_cast<const char*>(quote);
        out = std::string_view(from, static_cast<size_t>(p - from));
        ++p;
        if (IsPlainAscii(out))
            return true;
        bool beyond = false;
        for (const char c : out) {
            const EInString kind = kInString[static_cast<unsigned char>(c)];
            if (kind == EInString::kRefused)
                return false;
            beyond = beyond || kind == EInString::kBeyondAscii;
        }
        return !beyond ||
               QByteArrayView(out.data(), static_cast<qsizetype>(out.size())).isValidUtf8();
    };
    // The character c, and the spaces after it.
    const auto expect = [&](char c) {
        if (p == e || *p != c)
            return false;
        ++p;
        skip();
        return true;
    };
    // true, false or null.
    const auto literal = [&] {
        const std::string_view word = *p == 't' ? "true" : *p == 'f' ? "false" : "null";
        if (static_cast<size_t>(e - p) < word.size() || std::string_view(p, word.size()) != word)
            return false;
        p += word.size();
        return true;
    };
    skip();
    if (!expect('{'))
        return false;
    if (p < e && *p == '}') {
        ++p;
    } else {
        for (;;) {
            std::string_view key;
            if (p == e || *p != '"' || !string(key))
                return false;
            skip();
            if (!expect(':') || p == e)
                return false;
            const CField* const field = FieldOf(key);
            std::string_view text;
            double number = 0;
            bool isText = false, isNumber = false;
            if (*p == '"') {
                if (!string(text))
                    return false;
                isText = true;
            } else if (*p == '-' || IsDigit(*p)) {
                const char* const end = NumberEnd(p, e);
                if (end == nullptr)
                    return false;
                if (field != nullptr && field->m_eKind != EField::kText) {
                    const auto [at, ec] = std::from_chars(p, end, number);
                    if (ec != std::errc() || at != end || !std::isfinite(number))
                        return false;
                }
                p = end;
                isNumber = true;
            } else if (!literal()) {
                return false;  // an object or a list within: left to the parser
            }
            if (field != nullptr) {
                switch (field->m_eKind) {
                    case EField::kText:
                        f.*field->m_text = isText ? text : std::string_view();
                        break;
                    case EField::kNumber:
                        f.*field->m_number = isNumber ? number : 0;
                        break;
                    case EField::kChannel:
                        f.m_iChannel = isNumber ? WholeNumber(number) : 0;
                        break;
                }
            }
            skip();
            if (expect(','))
                continue;
            if (expect('}'))
                break;
            return false;
        }
    }
    skip();
    return p == e;
}

// The same fields from a line that ScanLine does not take; false when it is no JSON object.
bool ParseLine(QByteArrayView line, CJournalEntry& f) {
    QJsonParseError parsed{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject o = document.object();
    size_t i = 0;
    for (const CField& field : kFields) {
        const QJsonValue value = o.value(
            QLatin1String(field.m_name.data(), static_cast<qsizetype>(field.m_name.size())));
        switch (field.m_eKind) {
            case EField::kText:
                f.m_own[i] = value.toString().toUtf8().toStdString();
                f.*field.m_text = f.m_own[i++];
                break;
            case EField::kNumber:
                f.*field.m_number = value.toDouble();
                break;
            case EField::kChannel:
                f.m_iChannel = value.toInt();
                break;
        }
    }
    return true;
}

QDateTime TimeOf(std::string_view text) {
    return QDateTime::fromString(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), Qt::ISODate);
}

// The time of a line in seconds since 1970: "yyyy-MM-ddTHH:mm:ss" with "Z" or an offset
// as capture writes it, read directly; any other form through QDateTime. False when it
// is no time.
bool EpochOf(std::string_view t, qint64& epoch) {
    const auto digits = [&](size_t at, size_t n, int& value) {
        value = 0;
        for (size_t i = at; i < at + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return false;
            value = value * 10 + (t[i] - '0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, oh = 0, om = 0;
    const bool plain = (t.size() == 20 || t.size() == 25) && digits(0, 4, y) && t[4] == '-' &&
                       digits(5, 2, mo) && t[7] == '-' && digits(8, 2, d) && t[10] == 'T' &&
                       digits(11, 2, h) && t[13] == ':' && digits(14, 2, mi) && t[16] == ':' &&
                       digits(17, 2, se);
    const bool zone =
        plain && (t.size() == 20 ? t[19] == 'Z'
                                 : (t[19] == '+' || t[19] == '-') && digits(20, 2, oh) &&
                                       t[22] == ':' && digits(23, 2, om));
    if (!zone || mo < 1 || mo > 12 || d < 1 || d > QDate(y, mo, 1).daysInMonth() || h > 23 ||
        mi > 59 || se > 59 || oh > 23 || om > 59) {
        const QDateTime time = TimeOf(t);
        if (!time.isValid())
            return false;
        epoch = time.toSecsSinceEpoch();
        return true;
    }
    const int offset = (t.size() == 25 && t[19] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
    epoch =
        QDate(1970, 1, 1).daysTo(QDate(y, mo, d)) * kDaySeconds + h * 3600 + mi * 60 + se - offset;
    return true;
}

}  // namespace

bool ParseJournalLine(QByteArrayView line, CJournalEntry& entry) {
    return ScanLine(line, entry) || ParseLine(line, entry);
}

bool CJournalEntry::Epoch(qint64& epoch) const {
    return EpochOf(m_time, epoch);
}

QDateTime CJournalEntry::Time() const {
    return TimeOf(m_time);
}

bool ReadJournal(const std::string& path, const CJournalTake& take, std::string* error) {
    return ReadJournalBackwards(
        path,
        [&take](QByteArrayView line) {
            CJournalEntry entry;
            return take(ParseJournalLine(line, entry) ? &entry : nullptr);
        },
        error);
}

bool CJournalEntry::IsGoodPicture() const {
    return m_event == "picture" && (m_result == "ok" || m_result == "latest_failed");
}

EPictureCheck CJournalEntry::Check() const {
    EPictureCheck check = EPictureCheck::Ok;
    if (!ParsePictureCheck(std::string(m_check), check))
        return EPictureCheck::Ok;
    return check;
}

bool RecentPictureHashes(const std::string& path, const std::string& site, int channel, int count,
                         std::vector<uint64_t>& hashes, std::string* error) {
    hashes.clear();
    if (count <= 0 || !QFileInfo::exists(QString::fromStdString(path)))
        return true;
    int lines = 0;
    return ReadJournal(
        path,
        [&](const CJournalEntry* e) {
            if (++lines > kMaxHashLines)
                return false;
            if (e == nullptr || !e->IsGoodPicture() || e->m_iChannel != channel ||
                e->m_site != site)
                return true;
            uint64_t hash = 0;
            if (!ParsePictureHash(std::string(e->m_hash), hash))
                return false;
            hashes.push_back(hash);
            return static_cast<int>(hashes.size()) < count;
        },
        error);
}

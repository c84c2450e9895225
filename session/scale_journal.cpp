// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/scale_journal.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace session {

namespace {

constexpr const char* kBeforeRecord = "before";
constexpr const char* kAfterRecord = "after";

// A descriptor closed when it goes out of scope.
class TFileDescriptor {
public:
    explicit TFileDescriptor(int descriptor) : FDescriptor(descriptor) {}
    ~TFileDescriptor() {
        if (FDescriptor >= 0) {
            ::close(FDescriptor);
        }
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FDescriptor; }

private:
    int FDescriptor;
};

std::string Failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<std::string> SyncFolder(const std::string& folder) {
    const TFileDescriptor descriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (descriptor.Get() < 0 || ::fsync(descriptor.Get()) != 0) {
        return Failure("cannot flush", folder);
    }
    return std::nullopt;
}

// Makes the folder and any missing above it, private to the user; a folder made is
// flushed into the one that holds it, so a power loss cannot take it with the records.
std::optional<std::string> MakeFolder(const std::string& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        return std::nullopt;
    }
    const std::string parent = ParentOf(folder);
    if (parent != folder) {
        if (auto failure = MakeFolder(parent)) {
            return failure;
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return Failure("cannot make", folder);
    }
    return SyncFolder(parent);
}

constexpr const char* kNotARegularFileText =
    " is not a regular file: not used as the scale journal";

// Something other than a regular file where the journal belongs (a FIFO would block the
// open, a device would swallow the records) is refused before it is opened.
std::optional<std::string> NotARegularFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        return path + kNotARegularFileText;
    }
    return std::nullopt;
}

// Whether the file of `size` bytes ends a line; an empty file does. A record cut short
// leaves no newline, and the next one must not be glued onto it.
bool EndsInNewline(int descriptor, off_t size) {
    char last = '\n';
    return size == 0 || (::pread(descriptor, &last, 1, size - 1) == 1 && last == '\n');
}

bool WriteWhole(int descriptor, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            if (count == 0) {
                errno = EIO;
            }
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// Takes a record that went out in part back off the end, so no half line stays behind.
void CutBack(int descriptor, off_t size) {
    if (::ftruncate(descriptor, size) == 0) {
        ::fsync(descriptor);
    }
}

std::optional<QByteArray> ReadWhole(int descriptor) {
    QByteArray text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count == 0) {
            return text;
        }
        if (count < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (count > 0) {
            text.append(buffer, count);
        }
    }
}

QJsonObject PairObject(double x, double y) {
    return {{"x", x}, {"y", y}};
}

QJsonObject ScaleObject(const TScaleValues& values) {
    return PairObject(values.X, values.Y);
}

QJsonValue ScaleValue(const std::optional<TScaleValues>& values) {
    return values ? QJsonValue(ScaleObject(*values)) : QJsonValue();
}

// A scale value is a whole number the flash can hold; anything else (1e20, "1000", 1000.5)
// is no value at all, never 0.
std::optional<std::int32_t> WholeNumberOf(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(number);
}

std::optional<TScaleValues> ScaleOf(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    const std::optional<std::int32_t> x = WholeNumberOf(object.value("x"));
    const std::optional<std::int32_t> y = WholeNumberOf(object.value("y"));
    if (!x || !y) {
        return std::nullopt;
    }
    return TScaleValues{*x, *y};
}

std::optional<TPlotterSize> SizeOf(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    return TPlotterSize{object.value("x").toDouble(), object.value("y").toDouble()};
}

std::string Text(const QJsonObject& object, const char* key) {
    return object.value(key).toString().toStdString();
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string LineOf(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

TJournalBefore BeforeOf(const QJsonObject& object) {
    TJournalBefore record;
    record.Id = Text(object, "id");
    record.Time = Text(object, "time");
    record.Source = Text(object, "source") == "shell" ? jsShell : jsWindow;
    record.Port = Text(object, "port");
    record.DevicePath = Text(object, "device_path");
    record.UsbDeviceId = Text(object, "usb_device_id");
    record.FirmwareModel = Text(object, "firmware_model");
    record.FirmwareVersion = Text(object, "firmware_version");
    record.Reading = ScaleOf(object.value("reading"));
    record.Written = ScaleOf(object.value("written"));
    record.TestSizeMm = SizeOf(object.value("test_size_mm"));
    record.MeasuredMm = SizeOf(object.value("measured_mm"));
    record.Calibration = CalibrationOf(object.value("calibration"));
    return record;
}

TJournalAfter AfterOf(const QJsonObject& object) {
    return {Text(object, "id"), Text(object, "time"), Text(object, "outcome"),
            ScaleOf(object.value("read_back"))};
}

// A record names its kind and its id; anything else on a line is not one.
std::optional<QJsonObject> RecordOf(const QByteArray& line) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const QString kind = object.value("record").toString();
    if (object.value("id").toString().isEmpty() ||
        (kind != kBeforeRecord && kind != kAfterRecord)) {
        return std::nullopt;
    }
    return object;
}

void AddRecord(const QJsonObject& record, TJournalContents& contents) {
    if (record.value("record").toString() == kBeforeRecord) {
        contents.Entries.push_back({BeforeOf(record), std::nullopt});
        return;
    }
    const TJournalAfter after = AfterOf(record);
    for (auto entry = contents.Entries.rbegin(); entry != contents.Entries.rend(); ++entry) {
        if (entry->Before.Id == after.Id) {
            entry->After = after;
            return;
        }
    }
}

} // namespace

std::string JournalLine(const TJournalBefore& record) {
    QJsonObject object{{"record", kBeforeRecord},
                       {"id", Q(record.Id)},
                       {"time", Q(record.Time)},
                       {"source", record.Source == jsShell ? "shell" : "window"},
                       {"port", Q(record.Port)},
                       {"device_path", Q(record.DevicePath)},
                       {"usb_device_id", Q(record.UsbDeviceId)},
                       {"firmware_model", Q(record.FirmwareModel)},
                       {"firmware_version", Q(record.FirmwareVersion)},
                       {"reading", ScaleValue(record.Reading)},
                       {"written", ScaleValue(record.Written)}};
    if (record.TestSizeMm && record.MeasuredMm) {
        object.insert("test_size_mm", PairObject(record.TestSizeMm->X, record.TestSizeMm->Y));
        object.insert("measured_mm", PairObject(record.MeasuredMm->X, record.MeasuredMm->Y));
    }
    if (record.Calibration) {
        object.insert("calibration", CalibrationObject(*record.Calibration));
    }
    return LineOf(object);
}

std::string JournalLine(const TJournalAfter& record) {
    QJsonObject object{{"record", kAfterRecord},
                       {"id", Q(record.Id)},
                       {"time", Q(record.Time)},
                       {"outcome", Q(record.Outcome)}};
    if (record.ReadBack) {
        object.insert("read_back", ScaleObject(*record.ReadBack));
    }
    return LineOf(object);
}

std::optional<std::string> TScaleJournal::Append(const TJournalBefore& record) const {
    return AppendLine(JournalLine(record));
}

std::optional<std::string> TScaleJournal::Append(const TJournalAfter& record) const {
    return AppendLine(JournalLine(record));
}

std::optional<std::string> TScaleJournal::AppendLine(const std::string& line) const {
    const std::string folder = ParentOf(FPath);
    if (auto failure = MakeFolder(folder)) {
        return failure;
    }
    const bool existed = ::access(FPath.c_str(), F_OK) == 0;
    if (auto refusal = NotARegularFile(FPath)) {
        return refusal;
    }
    const TFileDescriptor file(
        ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600));
    if (file.Get() < 0) {
        return Failure("cannot open", FPath);
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        return Failure("cannot open", FPath);
    }
    if (!S_ISREG(status.st_mode)) {
        return FPath + kNotARegularFileText;
    }
    const std::string record = EndsInNewline(file.Get(), status.st_size) ? line : "\n" + line;
    if (!WriteWhole(file.Get(), record) || ::fsync(file.Get()) != 0) {
        std::string failure = Failure("cannot write", FPath);
        CutBack(file.Get(), status.st_size);
        return failure;
    }
    return existed ? std::nullopt : SyncFolder(folder);
}

TJournalContents TScaleJournal::Read() const {
    TJournalContents contents;
    const TFileDescriptor file(::open(FPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        if (errno != ENOENT) {
            contents.Failure = Failure("cannot read", FPath);
        }
        return contents;
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        contents.Failure = Failure("cannot read", FPath);
        return contents;
    }
    if (!S_ISREG(status.st_mode)) {
        contents.Failure = FPath + kNotARegularFileText;
        return contents;
    }
    std::optional<QByteArray> text = ReadWhole(file.Get());
    if (!text) {
        contents.Failure = Failure("cannot read", FPath);
        return contents;
    }
    const QList<QByteArray> lines = text->split('\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        if (lines[index].trimmed().isEmpty()) {
            continue;
        }
        if (const auto record = RecordOf(lines[index])) {
            AddRecord(*record, contents);
        } else {
            contents.Warnings.push_back(FPath + " line " + std::to_string(index + 1) +
                                        " is not a whole record (cut short?): skipped");
        }
    }
    return contents;
}

std::string DefaultJournalPath() {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const std::string folder = stateHome != nullptr && stateHome[0] == '/'
                                   ? std::string(stateHome)
                                   : std::string(home != nullptr ? home : "") + "/.local/state";
    return folder + "/tessaro/scale-journal.jsonl";
}

std::string UtcNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

std::string NewJournalId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

} // namespace session

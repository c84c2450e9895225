// SPDX-License-Identifier: GPL-3.0-or-later
// The scale journal as a crash leaves it: records tied by their id whatever comes between
// them, a write without its record after, lines cut short or not records at all; and what
// appending makes on disk.

#include "session/scale_journal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace session::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TJournalBefore Before(const std::string& id, std::string port = "COM33") {
    TJournalBefore record;
    record.Id = id;
    record.Port = std::move(port);
    record.Reading = {1012, 996};
    record.Written = {1022, 1005};
    return record;
}

TJournalAfter After(const std::string& id, const char* outcome = kOutcomeSaved) {
    return {id, "2026-12-08T18:00:00Z", outcome, TScaleValues{1022, 1005}};
}

class ScaleJournal : public ::testing::Test {
protected:
    void Write(const std::string& text) {
        ASSERT_TRUE(QDir().mkpath(Folder.filePath("state/tessaro")));
        QFile file(QString::fromStdString(Journal.Path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    std::string Text() const {
        QFile file(QString::fromStdString(Journal.Path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    QTemporaryDir Folder;
    const TScaleJournal Journal{Folder.filePath("state/tessaro/scale-journal.jsonl").toStdString()};
};

TEST_F(ScaleJournal, ReadsEachWriteWithItsOutcomeWhateverACrashLeft) {
    const std::string a = JournalLine(Before("a"));
    const std::string b = JournalLine(Before("b"));
    const struct {
        const char* Name;
        std::string Text;
        std::vector<std::string> Outcomes;
        std::vector<int> WarnedLines;
    } rows[] = {
        {"Whole", a + JournalLine(After("a")), {"saved"}, {}},
        {"KilledAfterTheFirstRecord", a, {"outcome unknown"}, {}},
        {"Interleaved",
         a + b + JournalLine(After("b", "read-back differs")) + JournalLine(After("a")),
         {"saved", "read-back differs"},
         {}},
        {"TornLineBetween", a + b.substr(0, 40) + "\n" + JournalLine(After("a")), {"saved"}, {2}},
        {"TornLastLine", a + JournalLine(After("a")).substr(0, 30), {"outcome unknown"}, {2}},
        {"NotARecord", "{\"x\":1}\n[]\n\n" + a, {"outcome unknown"}, {1, 2}},
        {"RecordWithoutId",
         "\n{\"record\":\"before\",\"port\":\"COM33\"}\n" + a,
         {"outcome unknown"},
         {2}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        Write(row.Text);
        const TJournalContents contents = Journal.Read();
        std::vector<std::string> outcomes;
        for (const TJournalEntry& entry : contents.Entries) {
            outcomes.push_back(entry.Outcome());
        }
        EXPECT_THAT(outcomes, ElementsAreArray(row.Outcomes));
        ASSERT_EQ(contents.Warnings.size(), row.WarnedLines.size());
        for (std::size_t index = 0; index < row.WarnedLines.size(); ++index) {
            EXPECT_THAT(contents.Warnings[index],
                        HasSubstr(" line " + std::to_string(row.WarnedLines[index]) + " "));
        }
        EXPECT_EQ(contents.Failure, std::nullopt);
    }
}

// 1e20, "1000" and 1000.5 are no scale a flash holds: unreadable, never 0 or a rounding.
TEST_F(ScaleJournal, ScaleValuesThatAreNotWholeNumbersAreUnreadable) {
    for (const char* x : {"1e20", "\"1000\"", "1000.5"}) {
        SCOPED_TRACE(x);
        Write(std::string("{\"record\":\"before\",\"id\":\"a\",\"reading\":{\"x\":") + x +
              ",\"y\":996},\"written\":{\"x\":1000,\"y\":996}}\n");
        const TJournalContents contents = Journal.Read();
        ASSERT_EQ(contents.Entries.size(), 1U);
        EXPECT_EQ(contents.Entries[0].Before.Reading, std::nullopt);
        EXPECT_EQ(contents.Entries[0].Before.Written->X, 1000);
    }
}

// The disk takes `allowed` bytes more and refuses the rest, as a full disk does.
class TFileSizeLimit {
public:
    explicit TFileSizeLimit(std::size_t allowed) {
        ::getrlimit(RLIMIT_FSIZE, &FFormer);
        FFormerHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{allowed, FFormer.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &FFormer);
        std::signal(SIGXFSZ, FFormerHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FFormer{};
    void (*FFormerHandler)(int) = nullptr;
};

// Wherever a crash cut the last record, the next append starts on a line of its own; an
// append the disk cuts short leaves the file as it was.
TEST_F(ScaleJournal, AnAppendKeepsEveryWholeRecordWhereverTheLastWasCut) {
    const std::string a = JournalLine(Before("a"));
    const std::string b = JournalLine(Before("b"));
    for (std::size_t cut = 0; cut < b.size(); ++cut) {
        SCOPED_TRACE("cut at byte " + std::to_string(cut));
        const std::string torn = a + b.substr(0, cut);
        Write(torn);
        {
            const TFileSizeLimit full(torn.size() + 20);
            EXPECT_NE(Journal.Append(Before("c")), std::nullopt);
        }
        EXPECT_EQ(Text(), torn);
        ASSERT_EQ(Journal.Append(Before("c")), std::nullopt);
        std::vector<std::string> ids;
        for (const TJournalEntry& entry : Journal.Read().Entries) {
            ids.push_back(entry.Before.Id);
        }
        // Only the newline missing: the record is whole.
        EXPECT_THAT(ids,
                    ElementsAreArray(cut == b.size() - 1 ? std::vector<std::string>{"a", "b", "c"}
                                                         : std::vector<std::string>{"a", "c"}));
    }
}

// A FIFO would block the program, a folder holds no records: neither is taken for a
// journal, and reading one is a failure, not an empty history.
TEST_F(ScaleJournal, OnlyARegularFileIsAJournal) {
    ASSERT_TRUE(QDir().mkpath(Folder.filePath("state/tessaro")));
    ASSERT_EQ(::mkfifo(Journal.Path().c_str(), 0600), 0);
    EXPECT_THAT(Journal.Append(Before("a")).value_or(""), HasSubstr("not a regular file"));
    EXPECT_THAT(Journal.Read().Failure.value_or(""), HasSubstr("not a regular file"));
    ASSERT_EQ(::unlink(Journal.Path().c_str()), 0);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Journal.Path())));
    EXPECT_THAT(Journal.Read().Failure.value_or(""), HasSubstr(Journal.Path()));
}

// XDG_STATE_HOME counts only as an absolute path; a relative one is ignored.
TEST(ScaleJournalPath, ARelativeStateHomeIsIgnored) {
    const QByteArray formerState = qgetenv("XDG_STATE_HOME");
    const QByteArray formerHome = qgetenv("HOME");
    qputenv("HOME", "/home/operator");
    qputenv("XDG_STATE_HOME", "state");
    EXPECT_EQ(DefaultJournalPath(), "/home/operator/.local/state/tessaro/scale-journal.jsonl");
    qputenv("XDG_STATE_HOME", "/var/lib/shop");
    EXPECT_EQ(DefaultJournalPath(), "/var/lib/shop/tessaro/scale-journal.jsonl");
    qputenv("HOME", formerHome);
    qputenv("XDG_STATE_HOME", formerState);
}

TEST_F(ScaleJournal, AppendsPrivateLinesThatKeepAnyPortNameWhole) {
    EXPECT_TRUE(Journal.Read().Entries.empty());
    const std::string port = "COM\"3\n\x1b[2J";
    ASSERT_EQ(Journal.Append(Before("a", port)), std::nullopt);
    ASSERT_EQ(Journal.Append(After("a")), std::nullopt);
    const TJournalContents contents = Journal.Read();
    ASSERT_EQ(contents.Entries.size(), 1U);
    EXPECT_EQ(contents.Entries[0].Before.Port, port);
    EXPECT_EQ(contents.Entries[0].After->ReadBack->X, 1022);
    struct stat folder {};
    struct stat file {};
    ASSERT_EQ(::stat(Folder.filePath("state/tessaro").toLocal8Bit().constData(), &folder), 0);
    ASSERT_EQ(::stat(Journal.Path().c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700U);
    EXPECT_EQ(file.st_mode & 0777, 0600U);

    const TScaleJournal underAFile(Journal.Path() + "/scale-journal.jsonl");
    EXPECT_THAT(underAFile.Append(Before("b")).value_or(""), HasSubstr(Journal.Path()));
}

} // namespace
} // namespace session::test

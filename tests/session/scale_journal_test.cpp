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
        std::size_t Warnings;
    } rows[] = {
        {"Whole", a + JournalLine(After("a")), {"saved"}, 0},
        {"KilledAfterTheFirstRecord", a, {"outcome unknown"}, 0},
        {"Interleaved",
         a + b + JournalLine(After("b", "read-back differs")) + JournalLine(After("a")),
         {"saved", "read-back differs"},
         0},
        {"TornLineBetween", a + b.substr(0, 40) + "\n" + JournalLine(After("a")), {"saved"}, 1},
        {"TornLastLine", a + JournalLine(After("a")).substr(0, 30), {"outcome unknown"}, 1},
        {"NotARecord", "{\"x\":1}\n[]\n\n" + a, {"outcome unknown"}, 2},
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
        EXPECT_EQ(contents.Warnings.size(), row.Warnings);
    }
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

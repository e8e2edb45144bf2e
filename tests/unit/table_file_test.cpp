#include "config/table_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/file_replace.h"
#include "config/table_stream.h"

namespace quorvel::config {
namespace {

namespace fs = std::filesystem;

const std::string kOldContent("old file\0content", 16);

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

SensorTable DefaultTable() {
  SensorTable table;
  ResetSensorTable(table, "S", 1);
  return table;
}

// Every test works in a directory of its own.
class TableFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("quorvel-table-file-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    target_ = (dir_ / "DDEConf.dde").string();
    temp_ = target_ + ".tmp";
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  std::string target_;
  std::string temp_;
};

TEST_F(TableFileTest, LoadOfAMissingFileFails) {
  SensorTable table;
  EXPECT_EQ(LoadSensorTable(table, target_), "cannot open '" + target_ + "'");
}

TEST_F(TableFileTest, SaveThenLoad) {
  SensorTable table = DefaultTable();
  ASSERT_TRUE(ResizeSensorTable(table, "500", "S"));  // more than one read chunk
  table.SetColWidth(1, 200);
  ASSERT_EQ(SaveSensorTable(table, 42, target_), std::nullopt);
  EXPECT_EQ(ReadAll(target_), EncodeSensorTable(table, 42));
  EXPECT_FALSE(fs::exists(temp_));

  SensorTable back;
  ASSERT_EQ(LoadSensorTable(back, target_), std::nullopt);
  EXPECT_EQ(back.RowCount(), 501);
  EXPECT_EQ(back.ColWidth(1), 200);
  EXPECT_EQ(back.cells(), table.cells());
}

TEST_F(TableFileTest, LoadReportsTheDecoderMessage) {
  WriteAll(target_, "TPF1");
  SensorTable table;
  EXPECT_EQ(LoadSensorTable(table, target_), "Invalid stream format");
  WriteAll(target_, "");
  EXPECT_EQ(LoadSensorTable(table, target_), "unexpected end of the stream");
}

TEST_F(TableFileTest, SaveReplacesAnExistingFile) {
  WriteAll(target_, kOldContent);
  const SensorTable table = DefaultTable();
  ASSERT_EQ(SaveSensorTable(table, 1, target_), std::nullopt);
  EXPECT_EQ(ReadAll(target_), EncodeSensorTable(table, 1));
  EXPECT_FALSE(fs::exists(temp_));
}

TEST_F(TableFileTest, SaveOverAStaleTemporaryFile) {
  WriteAll(temp_, std::string(10000, 'x'));
  const SensorTable table = DefaultTable();
  ASSERT_EQ(SaveSensorTable(table, 1, target_), std::nullopt);
  EXPECT_EQ(ReadAll(target_), EncodeSensorTable(table, 1));
  EXPECT_FALSE(fs::exists(temp_));
}

TEST_F(TableFileTest, SaveIntoAMissingDirectoryFails) {
  const std::string target = (dir_ / "missing" / "DDEConf.dde").string();
  EXPECT_EQ(SaveSensorTable(DefaultTable(), 1, target), "cannot create '" + target + ".tmp'");
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(TableFileTest, TemporaryFileThatCannotBeWrittenLeavesTheTargetWhole) {
  WriteAll(target_, kOldContent);
  fs::create_directory(temp_);  // empty: a careless cleanup would remove it
  EXPECT_EQ(SaveSensorTable(DefaultTable(), 1, target_), "cannot create '" + temp_ + "'");
  EXPECT_EQ(ReadAll(target_), kOldContent);
  EXPECT_TRUE(fs::is_directory(temp_));
}

TEST_F(TableFileTest, FailedReplaceRemovesTheTemporaryFile) {
  // A target that is a directory with something in it cannot be replaced.
  fs::create_directory(target_);
  WriteAll(fs::path(target_) / "inside", kOldContent);
  const auto error = SaveSensorTable(DefaultTable(), 1, target_);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->rfind("cannot replace '" + target_ + "' with '" + temp_ + "': ", 0), 0u)
      << *error;
  EXPECT_FALSE(fs::exists(temp_));
  EXPECT_EQ(ReadAll(fs::path(target_) / "inside"), kOldContent);
}

TEST_F(TableFileTest, ReplaceFileWithKeepsBothFilesOnFailure) {
  WriteAll(temp_, "new");
  std::string error;
  EXPECT_FALSE(ReplaceFileWith(temp_, (dir_ / "missing" / "x").string(), &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(temp_), "new");
  EXPECT_TRUE(ReplaceFileWith(temp_, target_, &error));
  EXPECT_EQ(ReadAll(target_), "new");
  EXPECT_FALSE(fs::exists(temp_));
}

TEST_F(TableFileTest, DefaultPathIsInTheWorkingDirectory) {
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  const auto saved = SaveSensorTable(DefaultTable(), 1);
  SensorTable back;
  const auto loaded = LoadSensorTable(back);
  fs::current_path(previous);
  ASSERT_EQ(saved, std::nullopt);
  ASSERT_EQ(loaded, std::nullopt);
  EXPECT_TRUE(fs::exists(dir_ / "DDEConf.dde"));
  EXPECT_EQ(back.cells(), DefaultTable().cells());
}

}  // namespace
}  // namespace quorvel::config

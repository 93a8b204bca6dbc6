// The platform's folders and files: what each way of opening makes of each kind of thing
// that may stand in a name's place. Nothing but a folder or a regular file is ever opened,
// and nothing is followed or waited on.
#include "../../standin/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "standin_test_support.h"

namespace standin_test {
namespace {

using standin::platform::File;
using standin::platform::Folder;
using standin::platform::Kind;
using standin::platform::Opened;

TEST(Platform, EachWayOfOpeningTakesOnlyItsOwnKindAndNeverALink) {
  TempDir root;
  TempDir outside;
  const fs::path data = root.path() / "data";
  WriteFile(data / "file.db", "{}");
  fs::create_directories(data / "folder");
  WriteFile(outside.path() / "secret.db", "{\"title\": \"Outside\"}");
  fs::create_symlink(outside.path() / "secret.db", data / "filelink.db");
  fs::create_directory_symlink(outside.path(), data / "folderlink");
  fs::create_symlink("/dev/null", data / "device.db");
  ASSERT_EQ(mkfifo((data / "pipe.db").c_str(), 0600), 0);
  fs::create_directory_symlink(data, root.path() / "datalink");

  struct Case {
    const char* name;
    Kind kind;
    Opened folder;  // OpenFolder, to look up names in it and to list it
    Opened file;    // OpenFile
    bool stamp;     // FileStampOf
  };
  const Case cases[] = {
      {"file.db", Kind::kFile, Opened::kNotThere, Opened::kYes, true},
      {"folder", Kind::kFolder, Opened::kYes, Opened::kNotThere, false},
      {"filelink.db", Kind::kOther, Opened::kNotThere, Opened::kNotThere, false},
      {"folderlink", Kind::kOther, Opened::kNotThere, Opened::kNotThere, false},
      {"device.db", Kind::kOther, Opened::kNotThere, Opened::kNotThere, false},
      {"pipe.db", Kind::kOther, Opened::kNotThere, Opened::kNotThere, false},
      {"missing.db", Kind::kNone, Opened::kNotThere, Opened::kNotThere, false},
  };
  // The data directory itself may be reached through a link.
  Folder folder;
  ASSERT_EQ(Folder::OpenRoot(root.path() / "datalink", &folder), Opened::kYes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(folder.KindOf(c.name), c.kind);
    for (const bool toList : {false, true}) {
      Folder inner;
      EXPECT_EQ(folder.OpenFolder(c.name, toList, &inner), c.folder);
      EXPECT_EQ(inner.IsOpen(), c.folder == Opened::kYes);
    }
    File file;
    EXPECT_EQ(folder.OpenFile(c.name, &file), c.file);
    EXPECT_EQ(file.IsOpen(), c.file == Opened::kYes);
    Folder either;
    File eitherFile;
    const bool opens = c.folder == Opened::kYes || c.file == Opened::kYes;
    EXPECT_EQ(folder.OpenFolderOrFile(c.name, &either, &eitherFile),
              opens ? Opened::kYes : Opened::kNotThere);
    EXPECT_EQ(either.IsOpen(), c.folder == Opened::kYes);
    EXPECT_EQ(eitherFile.IsOpen(), c.file == Opened::kYes);
    standin::platform::Stamp stamp;
    EXPECT_EQ(folder.FileStampOf(c.name, &stamp), c.stamp);
    if (c.file == Opened::kYes) {
      // The stamp of the name and that of the descriptor are the same, and
      // what is read is the file's.
      EXPECT_TRUE(stamp == file.OpenedStamp());
      char bytes[8] = {};
      size_t got = 0;
      ASSERT_TRUE(file.Read(bytes, sizeof bytes, &got));
      EXPECT_EQ(std::string(bytes, got), "{}");
    }
  }
  // A listing holds the folders and regular files only.
  std::vector<Folder::Listed> listed;
  ASSERT_TRUE(folder.List(&listed));
  std::sort(listed.begin(), listed.end(),
            [](const Folder::Listed& a, const Folder::Listed& b) { return a.name < b.name; });
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].name, "file.db");
  EXPECT_FALSE(listed[0].isFolder);
  EXPECT_EQ(listed[1].name, "folder");
  EXPECT_TRUE(listed[1].isFolder);
}

}  // namespace
}  // namespace standin_test

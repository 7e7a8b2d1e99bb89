// glyphmill-files' decisions about one file, through glyphmill::files
// directly: the comparison's edges, and a file swapped or written behind the
// program's back between the walk and the open, or the conversion and the
// rename (injected by hooks at those moments, not by timing).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "files/fileconvert.h"
#include "platform/conversions.h"
#include "tests/support/run_tool.h"

namespace {

FilesSettings SettingsFor(char letter, bool check)
{
    FilesSettings settings;
    settings.m_letter = letter;
    settings.m_check = check;
    settings.m_sync = false;
    EXPECT_TRUE(conversions::Select(letter, true, &settings.m_conversion));
    return settings;
}

// The file `name` of `dir` as the walk hands it on.
FileItem ItemFor(const CScratchDir& dir, const std::string& name)
{
    FileItem item;
    item.m_name = name;
    item.m_base = name;
    platform::FileFacts facts;
    int error = 0;
    item.m_folder = platform::CFolder::Open(dir.Path(""), &facts, &error);
    EXPECT_TRUE(item.m_folder && item.m_folder->Look(name, &facts, &error));
    item.m_device = facts.m_device;
    item.m_inode = facts.m_inode;
    return item;
}

ino_t InodeOf(const std::string& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info.st_ino;
}

void Sh(const CScratchDir& dir, const std::string& command)
{
    ASSERT_EQ(std::system(("cd " + Quote(dir.Path("")) + " && " + command).c_str()), 0) << command;
}

// The text is compared with the file in 64 KiB pieces, and a file that
// differs gets its equal start copied: sizes at the piece's edges, texts
// that match the whole file, end one byte short of it (-u drops a final
// CR) or one byte past it (-w writes CR before a final LF).
TEST(FileDecision, ComparisonEdges)
{
    enum Kind { kRight, kShorter, kLonger };
    for (const size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{200000}}) {
        for (const Kind kind : {kRight, kShorter, kLonger}) {
            if (size == 0 && kind != kRight) {
                continue;
            }
            std::string bytes(size, 'a');
            std::string converted = bytes;
            if (kind == kShorter) {
                bytes.back() = '\r';
                converted = bytes.substr(0, size - 1);
            } else if (kind == kLonger) {
                bytes.back() = '\n';
                converted = bytes.substr(0, size - 1) + "\r\n";
            }
            const char letter = kind == kLonger ? 'w' : 'u';
            for (const bool check : {true, false}) {
                SCOPED_TRACE(std::to_string(size) + " bytes, kind " + std::to_string(kind) + (check ? ", check" : ""));
                CScratchDir dir;
                dir.Write("f", bytes);
                const ino_t before = InodeOf(dir.Path("f"));
                const FilesSettings settings = SettingsFor(letter, check);
                const FileResult result = ConvertFile(ItemFor(dir, "f"), settings, -1);
                const Outcome changed = check ? Outcome::kWouldChange : Outcome::kDone;
                EXPECT_EQ(result.m_outcome, kind == kRight ? Outcome::kDone : changed) << result.m_message;
                EXPECT_TRUE(dir.Read("f") == (check ? bytes : converted));
                EXPECT_EQ(InodeOf(dir.Path("f")) == before, kind == kRight || check);
            }
        }
    }
}

// What is done behind the program's back, at which moment, and what must
// come of it: the outcome, the message's end, and the bytes afterwards of
// the file (`path`, tree/f unless its folder moved) and of another's file
// outside the tree.
struct SwapCase {
    const char* name;
    const char* beforeOpen;
    const char* beforeRename;
    Outcome outcome;
    const char* reason;
    const char* f;
    const char* outside;
    const char* path = "tree/f";
};

TEST(FileDecision, FileSwappedOrWrittenBehindTheProgramsBack)
{
    const SwapCase kCases[] = {
        {"left alone", "", "", Outcome::kDone, "", "a\n", "secret\r\n"},
        {"another file renamed over it before the open", "printf 'b\\r\\n' >g && mv g f", "", Outcome::kNotConverted,
         "changed while being converted", "b\r\n", "secret\r\n"},
        {"a link to a file outside before the open", "rm f && ln -s ../outside f", "", Outcome::kSkipped,
         "a symbolic link (--follow-symlinks converts its target)", "secret\r\n", "secret\r\n"},
        {"a FIFO before the open: no wait", "rm f && mkfifo f", "", Outcome::kSkipped,
         "not a regular file (a FIFO, device or socket)", nullptr, "secret\r\n"},
        {"a hard link made before the open", "ln f ../f2", "", Outcome::kNotConverted,
         "it has 2 hard links, which a rename would split", "a\r\n", "secret\r\n"},
        {"text appended before the rename", "", "printf 'more\\r\\n' >>f", Outcome::kNotConverted,
         "changed while being converted", "a\r\nmore\r\n", "secret\r\n"},
        {"text after a Ctrl-Z appended before the open", "printf '\\032tail' >>f", "", Outcome::kNotConverted,
         "text after a Ctrl-Z (0x1A) would be lost (--drop-after-ctrl-z drops it)", "a\r\n\x1atail", "secret\r\n"},
        {"another file renamed over it before the rename", "", "printf 'b\\r\\n' >g && mv g f", Outcome::kNotConverted,
         "changed while being converted", "b\r\n", "secret\r\n"},
        {"its folder swapped for a link outside before the rename", "",
         "cd .. && mv tree tree.old && ln -s outside.d tree", Outcome::kDone, "", "a\n", "secret\r\n", "tree.old/f"},
    };
    const FilesSettings settings = SettingsFor('u', false);
    for (const SwapCase& c : kCases) {
        SCOPED_TRACE(c.name);
        CScratchDir top;
        Sh(top,
           "mkdir tree outside.d && printf 'a\\r\\n' >tree/f && printf 'secret\\r\\n' | tee outside outside.d/f "
           ">/dev/null");
        CScratchDir& dir = top;
        FileItem item;
        item.m_name = "f";
        item.m_base = "f";
        platform::FileFacts facts;
        int error = 0;
        item.m_folder = platform::CFolder::Open(dir.Path("tree"), &facts, &error);
        ASSERT_TRUE(item.m_folder && item.m_folder->Look("f", &facts, &error));
        item.m_device = facts.m_device;
        item.m_inode = facts.m_inode;
        ConversionHooks hooks;
        const std::string tree = dir.Path("tree");
        hooks.m_beforeOpen = [&](const FileItem&) {
            if (*c.beforeOpen != '\0') {
                ASSERT_EQ(std::system(("cd " + Quote(tree) + " && " + c.beforeOpen).c_str()), 0);
            }
        };
        hooks.m_beforeRename = [&](const FileItem&) {
            if (*c.beforeRename != '\0') {
                ASSERT_EQ(std::system(("cd " + Quote(tree) + " && " + c.beforeRename).c_str()), 0);
            }
        };
        const FileResult result = ConvertFile(item, settings, -1, &hooks);
        EXPECT_EQ(result.m_outcome, c.outcome) << result.m_message;
        const std::string message = result.m_message;
        const size_t reason = std::string(c.reason).size();
        EXPECT_EQ(message.substr(message.size() > reason ? message.size() - reason : 0), c.reason);
        if (c.f != nullptr) {
            EXPECT_EQ(dir.Read(c.path), c.f);
        }
        EXPECT_EQ(dir.Read("outside"), c.outside);
        EXPECT_EQ(dir.Read("outside.d/f"), "secret\r\n");
        // No temporary file is left, wherever the folder went.
        Sh(dir, "! ls -A tree/ tree.old/ 2>/dev/null | grep -q glyphmill");
    }
}

}  // namespace

namespace {

// A folder swapped for a link to outside the tree while the walk is on: the
// walk does not follow it, and nothing outside is handed on.
TEST(FileDecision, WalkIsNotLedOutsideTheTree)
{
    CScratchDir dir;
    Sh(dir, "mkdir -p tree/a tree/b outside && printf 'x\\r\\n' | tee tree/a/f tree/b/f outside/f >/dev/null");
    FilesSettings settings = SettingsFor('u', false);
    settings.m_recurse = true;
    settings.m_operands.push_back(dir.Path("tree"));
    std::string met;
    const bool read = CollectFiles(settings, [&](FileItem&& item) {
        if (met.empty()) {
            Sh(dir, "mv tree/b tree/b.old && ln -s ../outside tree/b");
        }
        met += item.m_name.substr(dir.Path("").size()) + " " + item.m_result.m_message + "\n";
    });
    EXPECT_TRUE(read);
    EXPECT_EQ(met, "tree/a/f \ntree/b skipped '" + dir.Path("tree/b") +
                       "': a symbolic link (--follow-symlinks converts its target)\n");
}

}  // namespace

#include "files/filelist.h"

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>

#include "cmdline/messagetext.h"
#include "platform/replace.h"

namespace {

using platform::FileFacts;
using platform::FileKind;

std::string Quoted(const std::string& name)
{
    return "'" + Shown(name) + "'";
}

class CCollector {
public:
    CCollector(const FilesSettings& settings, std::vector<FileItem>* items) : m_settings(settings), m_items(items) {}

    void AddOperand(const std::string& name) { Add(name, false); }

private:
    void Add(const std::string& name, bool fromWalk)
    {
        FileItem item;
        item.m_name = name;
        item.m_path = name;
        item.m_fromWalk = fromWalk;
        FileFacts facts;
        int error = 0;
        if (!platform::Probe(name.c_str(), false, &facts, &error)) {
            Decide(item, Outcome::kUnreadable, "error reading " + Quoted(name) + ": " + platform::ErrorText(error));
            return;
        }
        if (facts.m_kind == FileKind::kSymlink && !FollowLink(item, facts)) {
            return;
        }
        switch (facts.m_kind) {
        case FileKind::kDirectory:
            AddFolder(item);
            return;
        case FileKind::kOther:
            Skip(item, "not a regular file (a FIFO, device or socket)");
            return;
        default:
            break;
        }
        // The same file named twice (or by a link and its target) is converted once.
        if (!m_seen.insert({facts.m_device, facts.m_inode}).second) {
            return;
        }
        if (!m_settings.m_check && facts.m_links > 1) {
            NotConverted(item, "it has " + std::to_string(facts.m_links) + " hard links, which a rename would split");
        } else if (!m_settings.m_check && !facts.m_writable) {
            NotConverted(item, "you may not write it");
        } else {
            item.m_size = facts.m_size;
            m_items->push_back(std::move(item));
        }
    }

    // A symbolic link is skipped unless --follow-symlinks; then its target is
    // replaced where it is. A link to a folder is never followed (no loops).
    bool FollowLink(FileItem& item, FileFacts& facts)
    {
        if (!m_settings.m_followSymlinks) {
            Skip(item, "a symbolic link (--follow-symlinks converts its target)");
            return false;
        }
        int error = 0;
        if (!platform::ResolveLink(item.m_name.c_str(), &item.m_path, &error) ||
            !platform::Probe(item.m_path.c_str(), false, &facts, &error)) {
            Decide(item, Outcome::kUnreadable,
                   "error reading " + Quoted(item.m_name) + ": " + platform::ErrorText(error));
            return false;
        }
        if (facts.m_kind == FileKind::kDirectory) {
            Skip(item, "a symbolic link to a folder");
            return false;
        }
        return true;
    }

    void AddFolder(FileItem& item)
    {
        if (!m_settings.m_recurse) {
            Decide(item, Outcome::kFailed,
                   "not converted " + Quoted(item.m_name) + ": a folder (-r converts its files)");
            return;
        }
        std::vector<std::string> names;
        int error = 0;
        if (!platform::ListFolder(item.m_name.c_str(), &names, &error)) {
            Decide(item, Outcome::kUnreadable,
                   "error reading " + Quoted(item.m_name) + ": " + platform::ErrorText(error));
            return;
        }
        for (const std::string& name : names) {
            Add(platform::JoinPath(item.m_name, name), true);
        }
    }

    // A link or a file that is not a regular one: met in a walk, a note (that
    // -q silences); named, the file counts as not converted.
    void Skip(FileItem& item, const std::string& reason)
    {
        if (item.m_fromWalk) {
            Decide(item, Outcome::kWalkNote,
                   m_settings.m_quiet ? std::string() : "skipped " + Quoted(item.m_name) + ": " + reason);
        } else {
            NotConverted(item, reason);
        }
    }

    void NotConverted(FileItem& item, const std::string& reason)
    {
        Decide(item, Outcome::kNotConverted, "not converted " + Quoted(item.m_name) + ": " + reason);
    }

    void Decide(FileItem& item, Outcome outcome, std::string message)
    {
        item.m_result.m_outcome = outcome;
        item.m_result.m_message = std::move(message);
        m_items->push_back(std::move(item));
    }

    const FilesSettings& m_settings;
    std::vector<FileItem>* m_items;
    std::set<std::pair<uint64_t, uint64_t>> m_seen;
};

// NUL-separated names; an empty name (two NULs in a row) is skipped.
bool ReadNames(const char* from, std::vector<std::string>* names)
{
    const bool standardInput = std::string(from) == "-";
    if (standardInput) {
        platform::StandardInput();  // now in binary mode, as a list file is read (Windows starts it in text mode)
    }
    std::FILE* file = standardInput ? stdin : platform::OpenStreamForReading(from);
    if (file == nullptr) {
        std::fprintf(stderr, "glyphmill-files: error reading %s: %s.\n", Quoted(from).c_str(),
                     platform::ErrorText(errno));
        return false;
    }
    std::string name;
    errno = 0;
    for (int byte = std::getc(file); byte != EOF; byte = std::getc(file)) {
        if (byte != '\0') {
            name += static_cast<char>(byte);
        } else if (!name.empty()) {
            names->push_back(std::move(name));
            name.clear();
        }
    }
    if (!name.empty()) {
        names->push_back(std::move(name));
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;  // of the read that failed
    if (!standardInput) {
        std::fclose(file);
    }
    if (failed) {
        std::fprintf(stderr, "glyphmill-files: error reading %s: %s.\n", Quoted(from).c_str(),
                     platform::ErrorText(error));
    }
    return !failed;
}

}  // namespace

std::string Shown(const std::string& name)
{
    return EscapedForMessage(name.c_str());
}

bool CollectFiles(const FilesSettings& settings, std::vector<FileItem>* items)
{
    CCollector collector(settings, items);
    for (const std::string& operand : settings.m_operands) {
        collector.AddOperand(operand);
    }
    if (settings.m_namesFrom != nullptr) {
        std::vector<std::string> names;
        if (!ReadNames(settings.m_namesFrom, &names)) {
            return false;
        }
        for (const std::string& name : names) {
            collector.AddOperand(name);
        }
    }
    return true;
}

#include "files/filelist.h"

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>

#include "cmdline/messagetext.h"
#include "platform/names.h"
#include "platform/replace.h"
#include "platform/tempname.h"

namespace {

using platform::FileFacts;
using platform::FileKind;

std::string Quoted(const std::string& name)
{
    return "'" + Shown(name) + "'";
}

// The folders version-control systems keep their own files in: a walk that
// entered them would rewrite their objects.
bool IsVersionControlFolder(const std::string& base)
{
    static const char* const kNames[] = {".git", ".hg", ".svn", ".bzr", "_darcs", "CVS"};
    for (const char* name : kNames) {
        if (base == name) {
            return true;
        }
    }
    return false;
}

bool MatchesAny(const std::vector<std::string>& patterns, const std::string& base)
{
    for (const std::string& pattern : patterns) {
        if (platform::MatchesGlob(pattern.c_str(), base.c_str())) {
            return true;
        }
    }
    return false;
}

class CCollector {
public:
    CCollector(const FilesSettings& settings, std::vector<FileItem>* items) : m_settings(settings), m_items(items) {}

    // With -r a link named on the command line is followed, as grep -r and
    // find -H follow it: `glyphmill-files -r src` where src is a link walks it.
    void AddOperand(const std::string& name)
    {
        Add(name, platform::BaseName(name), m_settings.m_recurse ? kNamed : kListed);
    }
    void AddListed(const std::string& name) { Add(name, platform::BaseName(name), kListed); }

private:
    enum Origin { kNamed, kListed, kWalked };

    void Add(const std::string& name, const std::string& base, Origin origin)
    {
        FileItem item;
        item.m_name = name;
        item.m_path = name;
        FileFacts facts;
        int error = 0;
        if (!platform::Probe(name.c_str(), false, &facts, &error)) {
            Decide(item, Outcome::kUnreadable, "error reading " + Quoted(name) + ": " + platform::ErrorText(error));
            return;
        }
        if (origin == kWalked && facts.m_kind == FileKind::kDirectory && IsVersionControlFolder(base)) {
            Skip(item, "a version-control folder");
            return;
        }
        if (origin == kWalked && LeftOutOfWalk(base, facts.m_kind)) {
            return;
        }
        // --include and --exclude choose among the files (a link by its own
        // name), never among folders; what they leave out gets no note.
        const bool followed = facts.m_kind == FileKind::kSymlink && (origin == kNamed || m_settings.m_followSymlinks);
        if (facts.m_kind != FileKind::kDirectory && !followed && !Chosen(base)) {
            return;
        }
        if (facts.m_kind == FileKind::kSymlink && !FollowLink(item, facts, origin == kNamed)) {
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
        if (followed && !Chosen(base)) {
            return;
        }
        // The same file named twice (or by a link and its target) is converted once.
        if (!m_seen.insert({facts.m_device, facts.m_inode}).second) {
            return;
        }
        item.m_links = facts.m_links;
        item.m_writable = facts.m_writable;
        m_items->push_back(std::move(item));
    }

    bool Chosen(const std::string& base) const
    {
        return (m_settings.m_includes.empty() || MatchesAny(m_settings.m_includes, base)) &&
               !MatchesAny(m_settings.m_excludes, base);
    }

    // What a walk passes over silently: a folder --exclude-dir names and a
    // temporary file of ours, from this run or a killed one. A folder named on
    // the command line is walked whatever its name.
    bool LeftOutOfWalk(const std::string& base, FileKind kind)
    {
        if (kind == FileKind::kDirectory) {
            return MatchesAny(m_settings.m_excludeDirs, base);
        }
        return platform::IsTemporaryName(base.c_str());
    }

    // A symbolic link is skipped unless --follow-symlinks or, under -r, named
    // on the command line; then its target is replaced where it is, and a
    // named link to a folder is walked. A link met in a walk is never walked
    // (no loops).
    bool FollowLink(FileItem& item, FileFacts& facts, bool named)
    {
        if (!m_settings.m_followSymlinks && !named) {
            Skip(item, "a symbolic link (--follow-symlinks converts its target)");
            return false;
        }
        int error = 0;
        if (!platform::Probe(item.m_name.c_str(), true, &facts, &error) ||
            (facts.m_kind != FileKind::kDirectory &&
             !platform::ResolveLink(item.m_name.c_str(), &item.m_path, &error))) {
            Decide(item, Outcome::kUnreadable,
                   "error reading " + Quoted(item.m_name) + ": " + platform::ErrorText(error));
            return false;
        }
        if (facts.m_kind == FileKind::kDirectory && !named) {
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
            Add(platform::JoinPath(item.m_name, name), name, kWalked);
        }
    }

    // What is not this program's to convert (a link, a FIFO, a device), named
    // or met in a walk: a note that -q silences and that leaves the status alone.
    void Skip(FileItem& item, const std::string& reason)
    {
        Decide(item, Outcome::kSkipped,
               m_settings.m_quiet ? std::string() : "skipped " + Quoted(item.m_name) + ": " + reason);
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
    std::FILE* file = standardInput ? stdin : std::fopen(from, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "glyphmill-files: error reading %s: %s.\n", Quoted(from).c_str(),
                     platform::ErrorText(errno));
        return false;
    }
    std::string name;
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
    if (!standardInput) {
        std::fclose(file);
    }
    if (failed) {
        std::fprintf(stderr, "glyphmill-files: error reading %s.\n", Quoted(from).c_str());
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
            collector.AddListed(name);
        }
    }
    return true;
}

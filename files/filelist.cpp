#include "files/filelist.h"

#include <cerrno>
#include <cstdio>
#include <set>
#include <utility>
#include <vector>

#include "cmdline/messagetext.h"
#include "platform/names.h"
#include "platform/replace.h"
#include "platform/tempname.h"

namespace {

using platform::CFolder;
using platform::FileFacts;
using platform::FileKind;
using FolderRef = std::shared_ptr<const CFolder>;

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
    CCollector(const FilesSettings& settings, const std::function<void(FileItem&&)>& take)
        : m_settings(settings), m_take(take)
    {
    }

    // With -r a link named on the command line is followed, as grep -r and
    // find -H follow it: `glyphmill-files -r src` where src is a link walks it.
    void AddOperand(const std::string& name) { AddNamed(name, m_settings.m_recurse); }
    void AddListed(const std::string& name) { AddNamed(name, false); }

    void Report(const std::string& name, Outcome outcome, std::string message)
    {
        FileItem item;
        item.m_name = name;
        Decide(item, outcome, std::move(message));
    }

private:
    void AddNamed(const std::string& name, bool followLinks)
    {
        FileItem item;
        item.m_name = name;
        FileFacts facts;
        int error = 0;
        if (!platform::Probe(name.c_str(), false, &facts, &error)) {
            return Unreadable(item, error);
        }
        const std::string base = platform::BaseName(name);
        const bool followed = facts.m_kind == FileKind::kSymlink && (followLinks || m_settings.m_followSymlinks);
        // --include and --exclude choose among the files (a link by its own
        // name), never among folders; what they leave out gets no note.
        if (facts.m_kind != FileKind::kDirectory && !followed && !Chosen(base)) {
            return;
        }
        std::string path = name;
        if (facts.m_kind == FileKind::kSymlink) {
            if (!followed) {
                return Skip(item, "a symbolic link (--follow-symlinks converts its target)");
            }
            if (!platform::Probe(name.c_str(), true, &facts, &error)) {
                return Unreadable(item, error);
            }
            if (facts.m_kind == FileKind::kDirectory && !followLinks) {
                return Skip(item, "a symbolic link to a folder");
            }
            // The target, resolved once: the file replaced where it is.
            if (facts.m_kind != FileKind::kDirectory && !platform::ResolveLink(name.c_str(), &path, &error)) {
                return Unreadable(item, error);
            }
        }
        switch (facts.m_kind) {
        case FileKind::kDirectory:
            return WalkOperand(item);
        case FileKind::kRegular:
            break;
        default:
            return Skip(item, "not a regular file (a FIFO, device or socket)");
        }
        FileFacts folderFacts;
        item.m_folder = CFolder::Open(platform::FolderOf(path), &folderFacts, &error);
        if (!item.m_folder) {
            return Unreadable(item, error);
        }
        item.m_base = platform::BaseName(path);
        AddFile(item, facts, true);
    }

    void WalkOperand(FileItem& item)
    {
        if (!m_settings.m_recurse) {
            return Decide(item, Outcome::kFailed,
                          "not converted " + Quoted(item.m_name) + ": a folder (-r converts its files)");
        }
        FileFacts facts;
        int error = 0;
        const FolderRef folder = CFolder::Open(item.m_name, &facts, &error);
        if (!folder) {
            return Unreadable(item, error);
        }
        if (FirstVisit(item, facts)) {
            Walk(*folder, folder, item.m_name);
        }
    }

    // Each entry is looked at and opened relative to its folder, a folder
    // never through a link: nothing swapped meanwhile leads the walk away.
    void Walk(const CFolder& folder, const FolderRef& ref, const std::string& shown)
    {
        std::vector<std::string> names;
        int error = 0;
        if (!folder.List(&names, &error)) {
            FileItem item;
            item.m_name = shown;
            return Unreadable(item, error);
        }
        for (const std::string& name : names) {
            FileItem item;
            item.m_name = platform::JoinPath(shown, name);
            FileFacts facts;
            if (!folder.Look(name, &facts, &error)) {
                Unreadable(item, error);
            } else if (facts.m_kind == FileKind::kDirectory) {
                WalkChild(folder, name, item);
            } else if (!platform::IsTemporaryName(name.c_str()) && Chosen(name)) {
                AddWalked(ref, name, item, facts);
            }
        }
    }

    // A version-control folder is a note; one --exclude-dir names is passed
    // over. A folder named on the command line is walked whatever its name.
    void WalkChild(const CFolder& folder, const std::string& name, FileItem& item)
    {
        if (IsVersionControlFolder(name)) {
            return Skip(item, "a version-control folder");
        }
        if (MatchesAny(m_settings.m_excludeDirs, name)) {
            return;
        }
        FileFacts facts;
        int error = 0;
        const FolderRef child = folder.OpenChild(name, &facts, &error);
        if (!child) {
            return Unreadable(item, error);
        }
        if (FirstVisit(item, facts)) {
            Walk(*child, child, item.m_name);
        }
    }

    void AddWalked(const FolderRef& folder, const std::string& name, FileItem& item, FileFacts& facts)
    {
        if (facts.m_kind == FileKind::kSymlink) {
            if (!m_settings.m_followSymlinks) {
                return Skip(item, "a symbolic link (--follow-symlinks converts its target)");
            }
            return FollowWalkedLink(*folder, name, item);
        }
        if (facts.m_kind != FileKind::kRegular) {
            return Skip(item, "not a regular file (a FIFO, device or socket)");
        }
        item.m_folder = folder;
        item.m_base = name;
        // A file of one name met in a walk cannot be met again: only files
        // with several names are remembered, so memory stays bounded.
        AddFile(item, facts, facts.m_links > 1);
    }

    // --follow-symlinks: the target, resolved once, replaced where it is; a
    // link to a folder is never walked (no loops).
    void FollowWalkedLink(const CFolder& folder, const std::string& name, FileItem& item)
    {
        const std::string link = folder.PathTo(name);
        std::string target;
        FileFacts facts;
        int error = 0;
        if (!platform::Probe(link.c_str(), true, &facts, &error) ||
            (facts.m_kind != FileKind::kDirectory && !platform::ResolveLink(link.c_str(), &target, &error))) {
            return Unreadable(item, error);
        }
        if (facts.m_kind == FileKind::kDirectory) {
            return Skip(item, "a symbolic link to a folder");
        }
        if (facts.m_kind != FileKind::kRegular) {
            return Skip(item, "not a regular file (a FIFO, device or socket)");
        }
        FileFacts folderFacts;
        item.m_folder = CFolder::Open(platform::FolderOf(target), &folderFacts, &error);
        if (!item.m_folder) {
            return Unreadable(item, error);
        }
        item.m_base = platform::BaseName(target);
        AddFile(item, facts, true);
    }

    // The same file named twice (or by a link and its target) is converted once.
    void AddFile(FileItem& item, const FileFacts& facts, bool remember)
    {
        const std::pair<uint64_t, uint64_t> identity{facts.m_device, facts.m_inode};
        if (m_seenFiles.count(identity) != 0) {
            return;
        }
        if (remember) {
            m_seenFiles.insert(identity);
        }
        item.m_device = facts.m_device;
        item.m_inode = facts.m_inode;
        m_take(std::move(item));
    }

    // A folder met before (named twice, or reached again through a mount) is
    // not walked again.
    bool FirstVisit(FileItem& item, const FileFacts& facts)
    {
        if (m_seenFolders.insert({facts.m_device, facts.m_inode}).second) {
            return true;
        }
        Skip(item, "a folder met before");
        return false;
    }

    bool Chosen(const std::string& base) const
    {
        return (m_settings.m_includes.empty() || MatchesAny(m_settings.m_includes, base)) &&
               !MatchesAny(m_settings.m_excludes, base);
    }

    // What is not this program's to convert (a link, a FIFO, a device), named
    // or met in a walk: a note that -q silences and that leaves the status alone.
    void Skip(FileItem& item, const std::string& reason)
    {
        Decide(item, Outcome::kSkipped,
               m_settings.m_quiet ? std::string() : "skipped " + Quoted(item.m_name) + ": " + reason);
    }

    void Unreadable(FileItem& item, int error)
    {
        Decide(item, Outcome::kUnreadable, "error reading " + Quoted(item.m_name) + ": " + platform::ErrorText(error));
    }

    void Decide(FileItem& item, Outcome outcome, std::string message)
    {
        item.m_result.m_outcome = outcome;
        item.m_result.m_message = std::move(message);
        item.m_folder.reset();
        m_take(std::move(item));
    }

    const FilesSettings& m_settings;
    const std::function<void(FileItem&&)>& m_take;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFiles;
    std::set<std::pair<uint64_t, uint64_t>> m_seenFolders;
};

// NUL-separated names, each handed on as it is read; an empty name (two NULs
// in a row) is skipped.
bool ReadNames(const char* from, CCollector& collector)
{
    const bool standardInput = std::string(from) == "-";
    if (standardInput) {
        platform::StandardInput();  // now in binary mode, as a list file is read (Windows starts it in text mode)
    }
    std::FILE* file = standardInput ? stdin : platform::OpenStreamForReading(from);
    if (file == nullptr) {
        collector.Report(from, Outcome::kUnreadable,
                         "error reading " + Quoted(from) + ": " + platform::ErrorText(errno));
        return false;
    }
    std::string name;
    errno = 0;
    for (int byte = std::getc(file); byte != EOF; byte = std::getc(file)) {
        if (byte != '\0') {
            name += static_cast<char>(byte);
        } else if (!name.empty()) {
            collector.AddListed(name);
            name.clear();
        }
    }
    const int readError = std::ferror(file) != 0 ? errno : 0;
    if (!name.empty()) {
        collector.AddListed(name);
    }
    if (!standardInput) {
        std::fclose(file);
    }
    if (readError != 0) {
        collector.Report(from, Outcome::kUnreadable,
                         "error reading " + Quoted(from) + ": " + platform::ErrorText(readError));
    }
    return readError == 0;
}

}  // namespace

std::string Shown(const std::string& name)
{
    return EscapedForMessage(name.c_str());
}

bool CollectFiles(const FilesSettings& settings, const std::function<void(FileItem&&)>& take)
{
    CCollector collector(settings, take);
    for (const std::string& operand : settings.m_operands) {
        collector.AddOperand(operand);
    }
    return settings.m_namesFrom == nullptr || ReadNames(settings.m_namesFrom, collector);
}

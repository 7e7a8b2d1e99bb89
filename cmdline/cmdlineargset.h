#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <vector>

#include "cmdline/cmdlinearg.h"
#include "cmdline/strbuf.h"

// Declares arguments, parses argv once, and composes the failure and usage
// texts for the client to print: the set itself never prints and never exits.
//
// Syntax: a text beginning with "-" or "/" names an argument by a prefix that
// ignores A-Z case; the value follows the name in the same text, after one
// optional "=" or ":". Each argument is taken once. Any other text fills the
// next positional argument. Then exclusive groups, dependencies and required
// arguments are checked, and the first failure is kept.
//
// The set holds non-owning pointers to the arguments; they must outlive every
// use of the set. Used as the base of a client's option set, never through a
// base pointer.
class CCmdLineArgSet {
public:
    CCmdLineArgSet();
    ~CCmdLineArgSet();
    CCmdLineArgSet(const CCmdLineArgSet&) = delete;
    CCmdLineArgSet& operator=(const CCmdLineArgSet&) = delete;

    // Declaration order is matching order and usage order. Nothing checks for
    // an argument declared twice or for clashing names.
    void AddArg(CCmdLineArg* arg);
    // Declares the members (as AddArg) and lets at most one of them be given.
    void AddExclusiveGroup(std::initializer_list<CCmdLineArg*> members);
    // Declares the prerequisite and the dependents (as AddArg); a given
    // dependent then needs the prerequisite. Only the first list recorded for a
    // prerequisite counts: a later list for it is declared but never checked.
    // After the exclusive groups and before the required arguments, the lists
    // are checked one prerequisite at a time in ascending order of the
    // prerequisites' addresses (not in declaration order); the first failing
    // one is reported, naming the first given dependent in its list's order.
    void AddDependency(CCmdLineArg* prerequisite, std::initializer_list<CCmdLineArg*> dependents);
    // A free line for the detailed usage, shown before the argument list.
    void AddTextLine(const char* text);

    // Call once: nothing is reset, so a second parse sees the first one's
    // results. argv[0] is the program name and is not examined; argv must stay
    // valid while the failure text or the argument texts are read.
    bool Parse(int argc, char** argv);

    // The first failure of the parse, ending in "\n\n", or "" when none. Valid
    // until the next call.
    const char* GetErrorText();
    // The synopsis line and, when detailed, the text lines and one line per
    // argument with its description. Valid until the next call.
    const char* GetUsageText(bool detailed);

    unsigned GetArgCount() const { return m_argCount; }
    // argv[index] for index 0 to GetArgCount(); null beyond (or before Parse).
    const char* GetArgText(unsigned index) const;
    const char* GetProgramName() const;

private:
    using ArgList = std::vector<CCmdLineArg*>;

    bool MatchNamed(const char* text);
    bool MatchPositional(const char* text);
    bool CheckExclusiveGroups();
    bool CheckDependencies();
    bool CheckRequired();

    void AppendSynopsis();
    void AppendTextLines();
    void AppendArgList();

    ArgList m_args;
    std::vector<CStrBuf> m_textLines;
    std::vector<ArgList> m_exclusiveGroups;
    std::map<CCmdLineArg*, ArgList, std::less<CCmdLineArg*>> m_dependencies;
    CStrBuf m_usageText;
    CStrBuf m_errorText;
    uint32_t m_argCount;
    char** m_argv;
    CCmdLineArg* m_missingArg;
    CCmdLineArg* m_exclusiveFirst;
    CCmdLineArg* m_exclusiveSecond;
    CCmdLineArg* m_prerequisite;
    CCmdLineArg* m_dependent;
    uint32_t m_invalidIndex;
};

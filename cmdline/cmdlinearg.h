#pragma once

#include <cstdint>
#include <vector>

#include "cmdline/strbuf.h"

// Flag word bits; they combine by OR. Every other bit is ignored.
constexpr unsigned ARG_POSITIONAL = 2;  // written without its name, filled in declaration order
constexpr unsigned ARG_REQUIRED = 4;    // the parse fails when it is not given

// One declared command-line argument: name, description, flags, whether it
// was given, and (in the kinds) a typed value with a default. The argument set
// holds arguments by pointer; their owner keeps them alive for as long as the
// set is used. Not copyable: the set's pointers name one object.
class CCmdLineArg {
public:
    CCmdLineArg(const CCmdLineArg&) = delete;
    CCmdLineArg& operator=(const CCmdLineArg&) = delete;
    virtual ~CCmdLineArg();

    // Static label of the value type for the usage synopsis ("" for none).
    virtual const char* GetTypeLabel() const = 0;
    virtual bool ExpectsValue() const;
    // Allowed values as "{a|b}" or ""; valid until the next call.
    virtual const char* GetChoicesLabel() = 0;
    // Judges a value text without changing anything.
    virtual bool IsValidValue(const char* text) const = 0;
    // Marks the argument given; the kinds then store the value. Does not
    // consult the allowed values: callers that enforce them ask IsValidValue.
    virtual bool SetValue(const char* text);

    const char* GetName() const { return m_name.GetText(); }
    const char* GetDescription() const { return m_description.GetText(); }
    bool IsGiven() const { return m_given; }
    bool IsPositional() const { return (m_flags & ARG_POSITIONAL) != 0; }
    bool IsNamed() const { return !IsPositional(); }
    bool IsRequired() const { return (m_flags & ARG_REQUIRED) != 0; }

protected:
    CCmdLineArg(const char* name, const char* description, unsigned flags);

private:
    CStrBuf m_name;
    CStrBuf m_description;
    uint32_t m_flags;
    bool m_given;
};

// A text value. Allowed values, if any, match without regard to A-Z case.
class CCmdLineArgString : public CCmdLineArg {
public:
    CCmdLineArgString(const char* name, const char* description, const char* defaultValue, unsigned flags);

    const char* GetTypeLabel() const override;
    const char* GetChoicesLabel() override;
    bool IsValidValue(const char* text) const override;
    bool SetValue(const char* text) override;

    // The value taken from the command line if given, else the default.
    const char* GetValue() const;
    void AddChoice(const char* value);

private:
    CStrBuf m_default;
    CStrBuf m_value;
    std::vector<CStrBuf> m_choices;
    CStrBuf m_choicesLabel;
};

// A signed 32-bit value. Texts convert like atoi but never fail: white space,
// one sign, then digits while they last, wrapping modulo 2^32; no digits is 0.
class CCmdLineArgInt : public CCmdLineArg {
public:
    CCmdLineArgInt(const char* name, const char* description, int defaultValue, unsigned flags);

    const char* GetTypeLabel() const override;
    const char* GetChoicesLabel() override;
    bool IsValidValue(const char* text) const override;
    bool SetValue(const char* text) override;

    int GetValue() const;
    void AddChoice(int value);

private:
    int32_t m_default;
    int32_t m_value;
    std::vector<int32_t> m_choices;
    CStrBuf m_choicesLabel;
};

// An on/off value written as "", "+" (on) or "-" (off) after the name.
class CCmdLineArgToggle : public CCmdLineArg {
public:
    CCmdLineArgToggle(const char* name, const char* description, bool defaultValue, bool showSign, unsigned flags);

    const char* GetTypeLabel() const override;
    bool ExpectsValue() const override;
    const char* GetChoicesLabel() override;
    bool IsValidValue(const char* text) const override;
    // Looks at the first byte only, so "+yes" is on. Any other first byte is
    // refused, yet the toggle stays marked given.
    bool SetValue(const char* text) override;

    // After a refused SetValue (given, but no value of its own) this is the
    // default, or the value of an earlier accepted SetValue.
    bool GetValue() const;

private:
    bool m_default;
    bool m_showSign;
    bool m_value;
};

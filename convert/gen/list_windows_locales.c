/* Lists every locale Windows knows with its default OEM and ANSI code pages,
 * one tab-separated line each: name, OEM page, ANSI page. Built with
 * mingw-w64 and run under wine by extract_locales.sh; it is not part of the
 * tool.
 *
 * Besides the names Windows enumerates, a name with a script ("tg-Cyrl-TJ")
 * is listed once more without it ("tg-TJ") when Windows resolves that short
 * form to a locale, since POSIX names carry no script. So is each name read
 * from standard input, one a line, that Windows resolves to a locale through
 * an alias of its own ("ckb-IQ" is ku-Arab-IQ): EnumSystemLocalesEx never
 * lists those. A locale whose text is
 * Unicode only (no ANSI page) gets 65001, UTF-8, for both: Windows runs such
 * a locale only with UTF-8 as its pages. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#define NAME_SIZE LOCALE_NAME_MAX_LENGTH

static void PrintPages(const wchar_t* listed, const wchar_t* locale)
{
    wchar_t oem[8];
    wchar_t ansi[8];
    if (!GetLocaleInfoEx(locale, LOCALE_IDEFAULTCODEPAGE, oem, 8) ||
        !GetLocaleInfoEx(locale, LOCALE_IDEFAULTANSICODEPAGE, ansi, 8)) {
        return;
    }
    if (wcscmp(ansi, L"0") == 0) {
        wcscpy(oem, L"65001");
        wcscpy(ansi, L"65001");
    }
    wprintf(L"%ls\t%ls\t%ls\n", listed, oem, ansi);
}

/* "ll-Scrp-TT" without its script: "ll-TT"; false when the name has none. */
static BOOL WithoutScript(const wchar_t* name, wchar_t* shorter)
{
    const wchar_t* first = wcschr(name, L'-');
    const wchar_t* second = first ? wcschr(first + 1, L'-') : NULL;
    if (second == NULL || second - first != 5) {
        return FALSE;
    }
    wcsncpy(shorter, name, (size_t)(first - name));
    shorter[first - name] = L'\0';
    wcscat(shorter, second);
    return TRUE;
}

static void PrintAlias(const wchar_t* name)
{
    wchar_t alias[NAME_SIZE];
    wchar_t canonical[NAME_SIZE];
    if (!WithoutScript(name, alias)) {
        return;
    }
    /* Windows marks the LCID of a name it resolves through an alias in the
     * high bit; 0 and LOCALE_CUSTOM_UNSPECIFIED mean it resolves nothing. A
     * short form that is a locale of its own resolves to itself, not to
     * `name`, and is listed in its own right. */
    const LCID id = LocaleNameToLCID(alias, 0) & 0xFFFF;
    if (id == 0 || id == LOCALE_CUSTOM_UNSPECIFIED || !LCIDToLocaleName(id, canonical, NAME_SIZE, 0) ||
        wcscmp(canonical, name) != 0) {
        return;
    }
    PrintPages(alias, canonical);
}

/* A name Windows accepts in place of another ("ckb-IQ"), listed with the
 * pages of the locale it resolves to. Names that are locales of their own,
 * or that Windows does not know, are left out. */
static void PrintNamedAlias(const wchar_t* name)
{
    wchar_t canonical[NAME_SIZE];
    if (!GetLocaleInfoEx(name, LOCALE_SNAME, canonical, NAME_SIZE) || _wcsicmp(canonical, name) == 0) {
        return;
    }
    PrintPages(name, canonical);
}

static void PrintNamedAliases(void)
{
    char line[NAME_SIZE];
    wchar_t name[NAME_SIZE];
    while (fgets(line, sizeof line, stdin)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (line[0] != '\0' && MultiByteToWideChar(CP_ACP, 0, line, -1, name, NAME_SIZE) > 0) {
            PrintNamedAlias(name);
        }
    }
}

static BOOL CALLBACK PrintLocale(LPWSTR name, DWORD flags, LPARAM unused)
{
    (void)flags;
    (void)unused;
    if (name[0] != L'\0') {
        PrintPages(name, name);
        PrintAlias(name);
    }
    return TRUE;
}

int main(void)
{
    /* Every locale but the alternate sorts ("de-DE_phoneb"), which name no
     * pages of their own. */
    const DWORD kinds = LOCALE_WINDOWS | LOCALE_SUPPLEMENTAL | LOCALE_NEUTRALDATA | LOCALE_SPECIFICDATA;
    if (!EnumSystemLocalesEx(PrintLocale, kinds, 0, NULL)) {
        return 1;
    }
    PrintNamedAliases();
    return 0;
}

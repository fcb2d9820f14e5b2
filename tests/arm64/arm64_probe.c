/* arm64_probe.exe: the ARM64 Quell.dll in a process of its own under the
 * emulated ARM64 Wine, where no C runtime exists for googletest. It loads the
 * Quell.dll beside it as an application does and, by the argument:
 *   probe    a first call of the powrprof.dll group under the loader lock
 *            (loader_lock_helper.dll beside it, as loading_host's "lock"),
 *            then every export that is safe to call for real, against the
 *            system's own answers, and the export table and version resource
 *            as the system reads them from the file; "check ... FAILED" for
 *            each difference, and "system.<query>=..." lines: the system's
 *            answers in the format of "queries"
 *   queries  the harmless power and version exports, one "name=answer" a line
 *   bare     powrprof.dll and version.dll loaded by bare name, one call each
 * Exit status 0: every check held; 1: a check failed; 2: a library or export
 * was missing; 3: the lock arrangement did not come about. */
#include <windows.h>

#include "quell_exports.h" /* QUELL_EXPORTS(X): X(ordinal, name) of res/Quell.def */

#define QuellTrue 0xFFFFFFFFu
#define NotAvailableError 120u
#define HandshakeMilliseconds 5000
#define UntouchedError 0xE0DEu

typedef BOOLEAN(WINAPI *BooleanQuery)(void);
typedef BOOL(WINAPI *QuellQuery)(void);
typedef BOOLEAN(WINAPI *CapabilitiesQuery)(SYSTEM_POWER_CAPABILITIES *);
typedef struct {
    DWORD size, major, minor, build, platform;
} VersionRecord;
typedef HRESULT(WINAPI *VersionQuery)(VersionRecord *);

static unsigned Checks, Failures;

static void Write(const char *text) {
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, NULL);
}

static void Check(BOOL holds, const char *what, DWORD found, DWORD wanted) {
    char line[256];
    ++Checks;
    if (holds) return;
    ++Failures;
    wsprintfA(line, "check %s FAILED: 0x%lX, expected 0x%lX\n", what, found, wanted);
    Write(line);
}
static void ExpectEqual(const char *what, DWORD found, DWORD wanted) { Check(found == wanted, what, found, wanted); }
#define EXPECT_EQ(what, found, wanted) ExpectEqual(what, (DWORD)(found), (DWORD)(wanted))

static void Missing(const char *what) {
    char line[MAX_PATH + 64];
    wsprintfA(line, "missing %s: error %lu\n", what, GetLastError());
    Write(line);
    ExitProcess(2);
}

static FARPROC Entry(HMODULE module, const char *name) {
    FARPROC entry = module ? GetProcAddress(module, name) : NULL;
    if (!entry) Missing(name);
    return entry;
}
#define ENTRY(type, module, name) ((type)(void *)Entry(module, name))

/* The path of a file beside this program. */
static void Beside(char *path, const char *file) {
    DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (length && path[length - 1] != '\\') --length;
    path[length] = 0;
    lstrcatA(path, file);
}

static HMODULE Load(const char *file, BOOL beside) {
    char path[MAX_PATH + 32];
    if (beside)
        Beside(path, file);
    else
        lstrcpyA(path, file);
    HMODULE module = LoadLibraryA(path);
    if (!module) Missing(path);
    return module;
}

/* ---- the queries of loading_host ------------------------------------------ */

static void PrintQueries(const char *prefix, DWORD versionResult, DWORD major, DWORD minor, DWORD build,
                         BOOLEAN suspend, BOOLEAN hibernate, BOOLEAN readable, const SYSTEM_POWER_CAPABILITIES *c,
                         BOOL standby) {
    char line[512];
    wsprintfA(line,
              "%sDllGetVersion=0x%08lX %lu.%lu.%lu\n%sIsPwrSuspendAllowed=%u\n%sIsPwrHibernateAllowed=%u\n"
              "%sGetPwrCapabilities=%u S1 %u S2 %u S3 %u S4 %u\n%sCheckSystemPowerStatus=%ld\n",
              prefix, versionResult, major, minor, build, prefix, suspend, prefix, hibernate, prefix, readable,
              c->SystemS1, c->SystemS2, c->SystemS3, c->SystemS4, prefix, (long)standby);
    Write(line);
}

static int Queries(void) {
    HMODULE quell = Load("Quell.dll", TRUE);
    VersionRecord version = {sizeof version, 0, 0, 0, 0};
    HRESULT result = ENTRY(VersionQuery, quell, "DllGetVersion")(&version);
    BOOLEAN suspend = ENTRY(BooleanQuery, quell, "IsPwrSuspendAllowed")();
    BOOLEAN hibernate = ENTRY(BooleanQuery, quell, "IsPwrHibernateAllowed")();
    SYSTEM_POWER_CAPABILITIES capabilities;
    SecureZeroMemory(&capabilities, sizeof capabilities);
    BOOLEAN readable = ENTRY(CapabilitiesQuery, quell, "GetPwrCapabilities")(&capabilities);
    BOOL standby = ENTRY(QuellQuery, quell, "CheckSystemPowerStatus")();
    PrintQueries("", (DWORD)result, version.major, version.minor, version.build, suspend, hibernate, readable,
                 &capabilities, standby);
    return 0;
}

static int Bare(void) {
    char line[128], self[MAX_PATH + 32];
    HMODULE powrprof = Load("powrprof.dll", FALSE);
    wsprintfA(line, "IsPwrSuspendAllowed=%u\n", ENTRY(BooleanQuery, powrprof, "IsPwrSuspendAllowed")());
    Write(line);
    HMODULE version = Load("version.dll", FALSE);
    DWORD handle;
    Beside(self, "arm64_probe.exe");
    wsprintfA(line, "GetFileVersionInfoSizeA=%lu\n",
              ENTRY(DWORD(WINAPI *)(LPCSTR, DWORD *), version, "GetFileVersionInfoSizeA")(self, &handle));
    Write(line);
    return 0;
}

/* ---- probe ------------------------------------------------------------------ */

static DWORD WINAPI LoadHelper(void *unused) {
    char path[MAX_PATH + 32];
    (void)unused;
    Beside(path, "loader_lock_helper.dll");
    return LoadLibraryA(path) ? 0 : GetLastError();
}

static HANDLE HostEvent(const char *suffix) {
    char name[64];
    wsprintfA(name, "QuellLoaderLock-%lu-%s", GetCurrentProcessId(), suffix);
    return CreateEventA(NULL, TRUE, FALSE, name);
}

/* One thread's first call of the powrprof.dll group waits inside LoadLibraryA
 * for the loader lock, which a second thread holds in the helper's attach step
 * while it makes a first call of the same group: neither may wait for the
 * other, and both answer as the system does. */
static void LoaderLock(HMODULE quell, BOOLEAN *thread, LONG *attachStep) {
    BooleanQuery isPwrHibernateAllowed = ENTRY(BooleanQuery, quell, "IsPwrHibernateAllowed");
    HANDLE held = HostEvent("held"), calling = HostEvent("calling");
    HANDLE helperThread = CreateThread(NULL, 0, LoadHelper, NULL, 0, NULL);
    if (!held || !calling || !helperThread || WaitForSingleObject(held, HandshakeMilliseconds) != WAIT_OBJECT_0) {
        Write("the helper's attach step never signalled\n");
        ExitProcess(3);
    }
    SetEvent(calling);
    BOOLEAN answer = isPwrHibernateAllowed();
    WaitForSingleObject(helperThread, INFINITE);
    DWORD helperLoad = 0;
    GetExitCodeThread(helperThread, &helperLoad);
    EXPECT_EQ("loader_lock_helper.dll loads", helperLoad, 0);
    *thread = answer;
    *attachStep = ENTRY(LONG(WINAPI *)(void), GetModuleHandleA("loader_lock_helper.dll"), "LoaderLockHelperAnswer")();
}

/* The export table: every name of the module-definition file at its ordinal. */
static void Exports(HMODULE quell) {
#define QUELL_EXPORT_CHECK(ordinal, name)                                                                              \
  {                                                                                                                    \
    FARPROC byName = GetProcAddress(quell, #name);                                                                     \
    Check(byName &&byName == GetProcAddress(quell, MAKEINTRESOURCEA(ordinal)), #name " at ordinal " #ordinal,          \
          (DWORD)(byName != NULL), 1);                                                                                 \
  }
    QUELL_EXPORTS(QUELL_EXPORT_CHECK)
#undef QUELL_EXPORT_CHECK
}

/* The library's answer and last-error value against the system function's; a
 * missing system function is answered "not available" (0, 120). */
static DWORD Error;
#define ASK(call) (SetLastError(UntouchedError), Result = (DWORD)(call), Error = GetLastError(), Result)
static DWORD Result;

static void CompareBoolean(const char *what, HMODULE quell, const char *name, BooleanQuery system) {
    DWORD quellResult, quellError, systemResult = 0, systemError = NotAvailableError;
    ASK(ENTRY(BooleanQuery, quell, name)());
    quellResult = Result & 0xFF, quellError = Error;
    if (system) {
        ASK(system());
        systemResult = Result & 0xFF, systemError = Error;
    }
    EXPECT_EQ(what, quellResult, systemResult);
    if (!quellResult) EXPECT_EQ(what, quellError, systemError);
}

static void PowerQueries(HMODULE quell, HMODULE powrprof, OSVERSIONINFOA *os) {
    BooleanQuery suspendAllowed = (BooleanQuery)(void *)GetProcAddress(powrprof, "IsPwrSuspendAllowed");
    BooleanQuery hibernateAllowed = (BooleanQuery)(void *)GetProcAddress(powrprof, "IsPwrHibernateAllowed");
    CapabilitiesQuery capabilities = (CapabilitiesQuery)(void *)GetProcAddress(powrprof, "GetPwrCapabilities");
    CompareBoolean("IsPwrSuspendAllowed", quell, "IsPwrSuspendAllowed", suspendAllowed);
    CompareBoolean("IsPwrHibernateAllowed", quell, "IsPwrHibernateAllowed", hibernateAllowed);

    SYSTEM_POWER_CAPABILITIES viaQuell, direct;
    for (DWORD i = 0; i < sizeof direct; ++i) ((BYTE *)&viaQuell)[i] = ((BYTE *)&direct)[i] = 0xCC;
    DWORD quellResult = ASK(ENTRY(CapabilitiesQuery, quell, "GetPwrCapabilities")(&viaQuell)) & 0xFF;
    DWORD quellError = Error, directResult = 0, directError = NotAvailableError;
    if (capabilities) {
        directResult = ASK(capabilities(&direct)) & 0xFF;
        directError = Error;
    }
    EXPECT_EQ("GetPwrCapabilities", quellResult, directResult);
    if (!quellResult) EXPECT_EQ("GetPwrCapabilities last error", quellError, directError);
    BOOL same = TRUE;
    for (DWORD i = 0; i < sizeof direct; ++i) same &= ((BYTE *)&viaQuell)[i] == ((BYTE *)&direct)[i];
    EXPECT_EQ("GetPwrCapabilities record", same, TRUE);

    /* CheckSystemPowerStatus from the same answers. */
    DWORD expected;
    if (os->dwMajorVersion < 6 || !quellResult)
        expected = suspendAllowed ? suspendAllowed() : 0;
    else
        expected = direct.SystemS1 || direct.SystemS2 || direct.SystemS3 ? QuellTrue : 0;
    EXPECT_EQ("CheckSystemPowerStatus", ENTRY(QuellQuery, quell, "CheckSystemPowerStatus")(), expected);
}

/* The block-reason exports answer for a window of the probe as user32 does. */
static void BlockReasons(HMODULE quell) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    HWND window =
        CreateWindowExW(0, L"STATIC", L"Quell", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleA(NULL), NULL);
    EXPECT_EQ("message-only window", window != NULL, TRUE);
    static const WCHAR reason[] = L"Quell test";
    WCHAR viaQuell[64], direct[64];
    DWORD viaQuellLength = 64, directLength = 64, quellResult, quellError;
    viaQuell[0] = direct[0] = 0;

    BOOL(WINAPI * create)
    (HWND, LPCWSTR) = (BOOL(WINAPI *)(HWND, LPCWSTR))(void *)GetProcAddress(user32, "ShutdownBlockReasonCreate");
    quellResult = ASK(ENTRY(BOOL(WINAPI *)(HWND, LPCWSTR), quell, "ShutdownBlockReasonCreate")(window, reason));
    quellError = Error;
    if (create)
        ASK(create(window, reason));
    else
        Result = 0, Error = NotAvailableError;
    EXPECT_EQ("ShutdownBlockReasonCreate", quellResult, Result);
    EXPECT_EQ("ShutdownBlockReasonCreate last error", quellError, Error);

    BOOL(WINAPI * query)
    (HWND, LPWSTR, DWORD *) =
        (BOOL(WINAPI *)(HWND, LPWSTR, DWORD *))(void *)GetProcAddress(user32, "ShutdownBlockReasonQuery");
    quellResult = ASK(ENTRY(BOOL(WINAPI *)(HWND, LPWSTR, DWORD *), quell, "ShutdownBlockReasonQuery")(window, viaQuell,
                                                                                                      &viaQuellLength));
    quellError = Error;
    if (query)
        ASK(query(window, direct, &directLength));
    else
        Result = 0, Error = NotAvailableError;
    EXPECT_EQ("ShutdownBlockReasonQuery", quellResult, Result);
    EXPECT_EQ("ShutdownBlockReasonQuery last error", quellError, Error);
    EXPECT_EQ("ShutdownBlockReasonQuery text", lstrcmpW(viaQuell, direct), 0);
    EXPECT_EQ("ShutdownBlockReasonQuery length", viaQuellLength, directLength);

    BOOL(WINAPI * destroy)(HWND) = (BOOL(WINAPI *)(HWND))(void *)GetProcAddress(user32, "ShutdownBlockReasonDestroy");
    quellResult = ASK(ENTRY(BOOL(WINAPI *)(HWND), quell, "ShutdownBlockReasonDestroy")(window));
    quellError = Error;
    if (destroy)
        ASK(destroy(window));
    else
        Result = 0, Error = NotAvailableError;
    EXPECT_EQ("ShutdownBlockReasonDestroy", quellResult, Result);
    EXPECT_EQ("ShutdownBlockReasonDestroy last error", quellError, Error);
    if (window) DestroyWindow(window);
}

static void Version(HMODULE quell, HMODULE version, VersionRecord *record) {
    VersionQuery getVersion = ENTRY(VersionQuery, quell, "DllGetVersion");
    VersionRecord wrongSize = {sizeof wrongSize + 4, 9, 9, 9, 9};
    EXPECT_EQ("DllGetVersion null", getVersion(NULL), E_INVALIDARG);
    EXPECT_EQ("DllGetVersion cbSize 24", getVersion(&wrongSize), E_INVALIDARG);
    EXPECT_EQ("DllGetVersion cbSize 24 leaves the record", wrongSize.major, 9);
    wrongSize.size = 0;
    EXPECT_EQ("DllGetVersion cbSize 0", getVersion(&wrongSize), E_INVALIDARG);
    record->size = sizeof *record, record->major = record->minor = record->build = record->platform = 9;
    EXPECT_EQ("DllGetVersion", ASK(getVersion(record)), S_OK);
    EXPECT_EQ("DllGetVersion cbSize", record->size, 20);
    EXPECT_EQ("DllGetVersion platform", record->platform, 1);

    /* The version resource as the system's version.dll reads it from the file. */
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(quell, path, MAX_PATH);
    DWORD unused, size = ENTRY(DWORD(WINAPI *)(LPCWSTR, DWORD *), version, "GetFileVersionInfoSizeW")(path, &unused);
    static BYTE block[8192];
    EXPECT_EQ("version resource size", size > 0 && size <= sizeof block, TRUE);
    if (!size || size > sizeof block) return;
    EXPECT_EQ(
        "version resource read",
        ENTRY(BOOL(WINAPI *)(LPCWSTR, DWORD, DWORD, void *), version, "GetFileVersionInfoW")(path, 0, size, block),
        TRUE);
    BOOL(WINAPI * query)
    (const void *, LPCWSTR, void **, UINT *) =
        ENTRY(BOOL(WINAPI *)(const void *, LPCWSTR, void **, UINT *), version, "VerQueryValueW");
    static const struct {
        const WCHAR *path, *value;
    } strings[] = {
        {L"\\StringFileInfo\\040704E4\\FileDescription", L"DLL f\u00fcr das Beenden von Windows"},
        {L"\\StringFileInfo\\040704E4\\FileVersion", L"1.0.0.0"},
        {L"\\StringFileInfo\\040704E4\\OriginalFilename", L"quell.dll"},
    };
    for (unsigned i = 0; i < sizeof strings / sizeof *strings; ++i) {
        void *value = NULL;
        UINT length = 0;
        BOOL found = query(block, strings[i].path, &value, &length);
        EXPECT_EQ("version string", found && lstrcmpW((const WCHAR *)value, strings[i].value) == 0, TRUE);
    }
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    EXPECT_EQ("fixed file version", query(block, L"\\", (void **)&fixed, &length) && fixed, TRUE);
    if (fixed) {
        EXPECT_EQ("DllGetVersion major as the file", record->major, HIWORD(fixed->dwFileVersionMS));
        EXPECT_EQ("DllGetVersion minor as the file", record->minor, LOWORD(fixed->dwFileVersionMS));
        EXPECT_EQ("DllGetVersion build as the file", record->build, HIWORD(fixed->dwFileVersionLS));
        /* ProductVersion is the same version as text. */
        WCHAR product[32];
        wsprintfW(product, L"%u.%u.%u.%u", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                  HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
        void *value = NULL;
        BOOL found = query(block, L"\\StringFileInfo\\040704E4\\ProductVersion", &value, &length);
        EXPECT_EQ("ProductVersion", found && lstrcmpW((const WCHAR *)value, product) == 0, TRUE);
    }
    WORD *translation = NULL;
    EXPECT_EQ("translation", query(block, L"\\VarFileInfo\\Translation", (void **)&translation, &length), TRUE);
    if (translation) {
        EXPECT_EQ("translation length", length, 4);
        EXPECT_EQ("translation language", translation[0], 0x0407);
        EXPECT_EQ("translation code page", translation[1], 1252);
    }
}

static int Probe(void) {
    OSVERSIONINFOA os;
    os.dwOSVersionInfoSize = sizeof os;
    GetVersionExA(&os);
    /* The first call of the powrprof.dll group: nothing has loaded the library yet. */
    HMODULE quell = Load("Quell.dll", TRUE);
    BOOLEAN thread;
    LONG attachStep;
    LoaderLock(quell, &thread, &attachStep);
    HMODULE powrprof = Load("powrprof.dll", FALSE), version = Load("version.dll", FALSE);
    BooleanQuery systemHibernate = ENTRY(BooleanQuery, powrprof, "IsPwrHibernateAllowed");
    EXPECT_EQ("first call under the loader lock, on the thread", thread, systemHibernate());
    EXPECT_EQ("first call under the loader lock, in the attach step", attachStep, systemHibernate());
    Exports(quell);

    EXPECT_EQ("CheckWindowsNT", ENTRY(QuellQuery, quell, "CheckWindowsNT")(),
              os.dwPlatformId == VER_PLATFORM_WIN32_NT ? QuellTrue : 0);
    char name[257];
    DWORD size = sizeof name;
    EXPECT_EQ("CheckUserName", ENTRY(QuellQuery, quell, "CheckUserName")(), GetUserNameA(name, &size) ? QuellTrue : 0);
    EXPECT_EQ("WindowsNTPrivilegien", ENTRY(QuellQuery, quell, "WindowsNTPrivilegien")(), QuellTrue);
    /* The NT family has no MS-DOS mode: both answer 0 and leave the last error alone. */
    EXPECT_EQ("CheckMsDosModus", ASK(ENTRY(QuellQuery, quell, "CheckMsDosModus")()), 0);
    EXPECT_EQ("CheckMsDosModus last error", Error, UntouchedError);
    EXPECT_EQ("WindowsMsDosModus", ASK(ENTRY(QuellQuery, quell, "WindowsMsDosModus")()), 0);
    EXPECT_EQ("WindowsMsDosModus last error", Error, UntouchedError);

    PowerQueries(quell, powrprof, &os);
    BlockReasons(quell);
    VersionRecord record;
    Version(quell, version, &record);

    /* The system's answers in the format of "queries", for a run beside planted stand-ins. */
    SYSTEM_POWER_CAPABILITIES capabilities;
    SecureZeroMemory(&capabilities, sizeof capabilities);
    BOOLEAN readable = ENTRY(CapabilitiesQuery, powrprof, "GetPwrCapabilities")(&capabilities);
    PrintQueries("system.", S_OK, record.major, record.minor, record.build,
                 ENTRY(BooleanQuery, powrprof, "IsPwrSuspendAllowed")(), systemHibernate(), readable, &capabilities,
                 ENTRY(QuellQuery, quell, "CheckSystemPowerStatus")());

    EXPECT_EQ("FreeLibrary", FreeLibrary(quell), TRUE);
    char line[64];
    wsprintfA(line, "probe: %u checks, %u failed\n", Checks, Failures);
    Write(line);
    return Failures ? 1 : 0;
}

/* The last word of the command line. */
static const char *Mode(void) {
    const char *line = GetCommandLineA(), *word = line;
    for (const char *at = line; *at; ++at)
        if (*at == ' ' && at[1] && at[1] != ' ') word = at + 1;
    return word;
}

void ProbeStart(void) {
    const char *mode = Mode();
    int status = 2;
    if (!lstrcmpA(mode, "probe"))
        status = Probe();
    else if (!lstrcmpA(mode, "queries"))
        status = Queries();
    else if (!lstrcmpA(mode, "bare"))
        status = Bare();
    else
        Write("usage: arm64_probe probe|queries|bare\n");
    ExitProcess(status);
}

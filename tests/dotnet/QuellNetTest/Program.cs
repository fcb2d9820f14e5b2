// Quell.Net at its contract. "arguments": what is refused before any call.
// "calls ROUTE QUELL.EXE LOGS": each row's request through Quell.Net makes the
// calls into the recording stand-in beside this program that quell.exe makes
// for its command line (null: none to compare, the row's calls are none), and
// ends as the row says ("row ... N" runs row N alone). "examples QUELL.EXE LOGS":
// the documents' C# examples as written (Examples, made by quell_net_test.py)
// make the calls quell.exe makes for the command lines they name. "load": which
// Quell.dll, or which exception.
using System.ComponentModel;
using System.Diagnostics;
using Quell;

int passed = 0, failed = 0;
void Check(bool ok, string what)
{
    if (ok) passed++; else { failed++; Console.WriteLine($"FAIL {what}"); }
}
Type? Outcome(Action action)
{
    try { action(); return null; } catch (Exception e) { return e.GetType(); }
}
// The calls the stand-in records while the action runs, in the log file given.
string[] Recorded(string log, Action act)
{
    File.Delete(log);
    Environment.SetEnvironmentVariable("QUELL_STANDIN_LOG", log);
    act();
    return File.Exists(log) ? File.ReadAllLines(log) : Array.Empty<string>();
}
// quell.exe with a command line of the tables ('|' a blank, "" an empty argument) and --yes: its exit code.
int RunQuell(string quell, string line)
{
    var start = new ProcessStartInfo(quell) { RedirectStandardOutput = true, RedirectStandardError = true };
    foreach (string arg in line.Split(' ').Append("--yes")) start.ArgumentList.Add(arg == "\"\"" ? "" : arg.Replace('|', ' '));
    using Process process = Process.Start(start)!;
    process.StandardOutput.ReadToEnd();
    process.StandardError.ReadToEnd();
    process.WaitForExit();
    return process.ExitCode;
}
// A request of requests.txt: the method, then ShutdownOptions' members as NAME or NAME=VALUE.
Func<object?> Request(string text)
{
    string[] words = text.Split(' ', StringSplitOptions.RemoveEmptyEntries);
    var given = words.Skip(1).Select(word => word.Split('=', 2))
        .ToDictionary(pair => pair[0], pair => pair.Length > 1 ? (pair[1] == "\"\"" ? "" : pair[1].Replace('|', ' ')) : "");
    string? Value(string name) => given.GetValueOrDefault(name);
    ShutdownOptions? options = given.Count == 0 ? null : new()
    {
        Force = given.ContainsKey("Force"), Hybrid = given.ContainsKey("Hybrid"), RestartApps = given.ContainsKey("RestartApps"),
        BootOptions = given.ContainsKey("BootOptions"), Delay = TimeSpan.FromSeconds(int.Parse(Value("Delay") ?? "0")),
        Message = Value("Message"), Reason = Value("Reason") is string reason ? ShutdownReason.Parse(reason) : null,
        ComputerName = Value("ComputerName"),
    };
    return words[0] switch
    {
        "LogOff" => () => { Session.LogOff(options?.Force ?? false); return null; },
        "Lock" => () => { Session.Lock(); return null; },
        "Shutdown" => () => { Computer.Shutdown(options); return null; },
        "Restart" => () => { Computer.Restart(options); return null; },
        "AbortShutdown" => () => Computer.AbortShutdown(options?.ComputerName),
        "Sleep" => () => { Computer.Sleep(); return null; },
        "Hibernate" => () => { Computer.Hibernate(); return null; },
        _ => throw new FormatException($"requests.txt: no method {words[0]}"),
    };
}
ShutdownOptions O(bool force = false, bool hybrid = false, bool apps = false, bool boot = false, int delay = 0,
                  string? message = null, string? reason = null, string? machine = null) =>
    new() { Force = force, Hybrid = hybrid, RestartApps = apps, BootOptions = boot, Delay = TimeSpan.FromSeconds(delay),
            Message = message, Reason = reason is null ? null : ShutdownReason.Parse(reason), ComputerName = machine };

switch (args[0])
{
case "arguments":
    (string Text, uint? Code)[] reasons = {
        ("4:1", 0x00040001), ("p:4:1", 0x80040001), ("U:255:65535", 0x40FFFFFF), ("P:0:0", 0x80000000), ("007:0009", 0x70009),
        ("", null), ("4", null), ("4:", null), (":1", null), ("256:0", null), ("0:65536", null), ("p:u:1:1", null), ("x:1:1", null),
        ("4:1 ", null), (" 4:1", null), ("+4:1", null), ("4:-1", null), ("p4:1", null), ("p:", null), ("4:1:2", null), ("٤:1", null) };
    foreach ((string text, uint? code) in reasons)
    {
        bool read = ShutdownReason.TryParse(text, out ShutdownReason reason);
        Check(read == code.HasValue && (!read || (reason.Code == code && ShutdownReason.Parse(text) == reason &&
              ShutdownReason.Parse(reason.ToString()) == reason)), $"reason '{text}'");
        Check(read || Outcome(() => ShutdownReason.Parse(text)) == typeof(FormatException), $"Parse '{text}' throws");
    }
    ShutdownReason parts = new(4, 1, planned: true);
    Check(parts.Major == 4 && parts.Minor == 1 && parts.IsPlanned && !parts.IsUserDefined, "reason's parts");
    (Action Call, Type Expected, string What)[] refused = {
        (() => ShutdownReason.Parse(null!), typeof(ArgumentNullException), "Parse(null)"),
        (() => _ = new ShutdownReason(256, 0), typeof(ArgumentOutOfRangeException), "major 256"),
        (() => _ = new ShutdownReason(0, 65536), typeof(ArgumentOutOfRangeException), "minor 65536"),
        (() => _ = new ShutdownReason(-1, 0), typeof(ArgumentOutOfRangeException), "major -1"),
        (() => _ = new ShutdownReason(1, 1, true, true), typeof(ArgumentException), "planned and user-defined"),
        (() => Computer.Shutdown(O(delay: -1)), typeof(ArgumentOutOfRangeException), "delay -1"),
        (() => Computer.Restart(O(delay: 315360001)), typeof(ArgumentOutOfRangeException), "delay beyond ten years"),
        (() => Computer.Shutdown(new() { Delay = TimeSpan.FromMilliseconds(1500) }), typeof(ArgumentException), "delay 1.5 s"),
        (() => Computer.Restart(O(hybrid: true)), typeof(ArgumentException), "Hybrid on a restart"),
        (() => Computer.Shutdown(O(apps: true)), typeof(ArgumentException), "RestartApps on a shutdown"),
        (() => Computer.Shutdown(O(boot: true)), typeof(ArgumentException), "BootOptions on a shutdown"),
        (() => Computer.Restart(O(apps: true, boot: true)), typeof(ArgumentException), "RestartApps with BootOptions"),
        (() => Computer.AbortShutdown("a b"), typeof(ArgumentException), "abort: a blank in the name"),
        (() => ShutdownBlockReason.Create(IntPtr.Zero, null!), typeof(ArgumentNullException), "block reason null"),
    };
    foreach (string name in new[] { "", @"\\", @"\\a\b", "\"x\"", "x\ty", "x\u0001", @"a\b" })
    {
        refused = refused.Append((() => Computer.Shutdown(O(machine: name)), typeof(ArgumentException), $"machine '{name}'")).ToArray();
    }
    foreach ((Action call, Type expected, string what) in refused) Check(Outcome(call) == expected, what);
    break;

case "calls" or "row":
    string route = args[1], quell = args[2], logs = args[3];
    // requests.txt: route, quell.exe's command line, the request, the stand-in's script, how the request ends, its native code.
    var rows = File.ReadAllLines(Path.Combine(AppContext.BaseDirectory, "requests.txt"))
        .Where(line => line.Trim().Length > 0 && !line.StartsWith('#'))
        .Select(line => line.Split(';').Select(column => column.Trim()).Concat(Enumerable.Repeat("", 6)).ToArray())
        .Select(c => (Route: c[0], Line: c[1] == "-" ? null : c[1], Call: Request(c[2]), Script: c[3], Ends: c[4],
                      Code: c[5].Length > 0 ? int.Parse(c[5]) : 0))
        .ToArray();
    var routeRows = rows.Where(row => row.Route == route).ToArray();
    Environment.SetEnvironmentVariable("QUELL_STANDIN_CAPS", "3 5 6 20");
    if (args[0] == "calls")
    {
        // A process for each row: under Wine 8, .NET 8 on x64 fails to catch exceptions after a process's first.
        for (int row = 0; row < routeRows.Length; row++)
        {
            var start = new ProcessStartInfo(Environment.ProcessPath!) { RedirectStandardOutput = true };
            foreach (string arg in new[] { "row", route, quell, logs, $"{row}" }) start.ArgumentList.Add(arg);
            using Process child = Process.Start(start)!;
            Console.Write(child.StandardOutput.ReadToEnd());
            child.WaitForExit();
            Check(child.ExitCode == 0, $"route {route} row {row + 1} '{routeRows[row].Line}': exit {child.ExitCode}");
        }
        Check(route != "8" || Computer.GetPowerCapabilities() is { S1: true, S2: false, S3: true, S4: true, HibernationFile: false, ModernStandby: true },
              "power capabilities as the record's bytes say");
        Session.Lock();
        long allocated = GC.GetAllocatedBytesForCurrentThread();
        for (int i = 0; i < 100; i++) Session.Lock();
        Check(GC.GetAllocatedBytesForCurrentThread() == allocated, "Lock() allocates nothing when it succeeds");
        break;
    }
    int number = int.Parse(args[4]);
    foreach (var row in routeRows.Skip(number).Take(1))
    {
        string what = $"route {route} row {++number} '{row.Line}'";
        Environment.SetEnvironmentVariable("QUELL_STANDIN_SCRIPT", row.Script);
        string[] Calls(string name, Action act) => Recorded(Path.Combine(logs, $"{route}-{number}-{name}.log"), act);
        int status = 0;
        string[] expected = row.Line is null ? Array.Empty<string>() : Calls("quell", () => status = RunQuell(quell, row.Line));
        Exception? thrown = null;
        object? result = null;
        string[] made = Calls("net", () => { try { result = row.Call(); } catch (Exception e) { thrown = e; } });
        Check(made.SequenceEqual(expected), $"{what}: calls\n  quell.exe: {string.Join(" ", expected)}\n  Quell.Net: {string.Join(" ", made)}");
        string ends = thrown?.GetType().Name ?? result?.ToString() ?? "";
        Check(ends == row.Ends, $"{what}: ends with '{ends}' ({thrown?.Message})");
        Check(thrown is not Win32Exception w || w.NativeErrorCode == row.Code, $"{what}: native code {(thrown as Win32Exception)?.NativeErrorCode}");
        // quell.exe fails where the request ends in an exception or the stand-in refuses.
        bool fails = row.Ends.EndsWith("Exception", StringComparison.Ordinal) || row.Script.Length > 0;
        Check(row.Line is null || (status != 0) == fails, $"{what}: quell.exe exit {status}");
    }
    return failed == 0 ? 0 : 1;

case "examples":
{
    // Each example, the command lines of quell.exe whose calls it makes in turn ("=" a call itself).
    var lines = new Dictionary<string, string[]>
    {
        ["docs/dotnet.md 1"] = new[] { "lock", "reboot --delay 600 --message Updates|are|installed:|saving|your|work|now|is|wise. --reason p:2:17",
                                       "abort", "=GetPwrCapabilities(ptr)", "standby" },
        ["README.md 1"] = new[] { "=GetPwrCapabilities(ptr)" },
    };
    Environment.SetEnvironmentVariable("QUELL_STANDIN_CAPS", "3 5 6 20");
    foreach ((string source, Action example) in Examples.All)
    {
        string log = Path.Combine(args[2], source.Replace('/', '-').Replace(' ', '-'));
        var expected = new List<string>();
        // A log of its own for each run of quell.exe: no file that a process wrote a moment ago is deleted.
        int run = 0;
        foreach (string line in lines.GetValueOrDefault(source, new[] { "=an expectation for this example" }))
        {
            if (line.StartsWith('=')) expected.Add(line[1..]);
            else expected.AddRange(Recorded($"{log}.quell{++run}.log", () => RunQuell(args[1], line)));
        }
        string[] made = Recorded(log + ".net.log", example);
        Check(made.SequenceEqual(expected), $"{source}: calls\n  quell.exe: {string.Join(" ", expected)}\n  example: {string.Join(" ", made)}");
    }
    Check(Examples.All.Select(example => example.Source).Order().SequenceEqual(lines.Keys.Order()), "an example for each expectation");
    break;
}

case "load":
    try { Console.WriteLine($"loaded {QuellLibrary.Version}"); }
    catch (Exception e) { Console.WriteLine($"{e.GetType().Name}: {e.Message}"); }
    return 0;
}
Console.WriteLine($"{passed} passed, {failed} failed");
return failed == 0 ? 0 : 1;

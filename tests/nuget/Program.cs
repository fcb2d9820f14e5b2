// Calls Quell.dll's harmless exports through class Quell (docs/bindings.md's C#
// declarations, compiled in beside this file) and prints their answers as one
// JSON line for nuget_client_test.py. Nothing here ends a session, locks or
// changes the power state.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.Json;

static class Program
{
    [DllImport("kernel32.dll", ExactSpelling = true, CharSet = CharSet.Unicode)]
    static extern IntPtr GetModuleHandleW(string lpModuleName);

    [DllImport("kernel32.dll", ExactSpelling = true, CharSet = CharSet.Unicode)]
    static extern uint GetModuleFileNameW(IntPtr hModule, StringBuilder lpFilename, uint nSize);

    static int Main()
    {
        // Printed before the first call into Quell.dll: the driver tells a runtime that
        // never started (a Wine limit) from a Quell.dll that failed.
        Console.WriteLine("runtime started");
        Console.Out.Flush();

        var stream = new MemoryStream();
        using (var json = new Utf8JsonWriter(stream))
        {
            json.WriteStartObject();
            json.WriteString("process", RuntimeInformation.ProcessArchitecture.ToString());

            var info = new Quell.DllVersionInfo { cbSize = (uint)Marshal.SizeOf<Quell.DllVersionInfo>() };
            json.WriteStartObject("DllGetVersion");
            json.WriteNumber("result", Quell.DllGetVersion(ref info));
            json.WriteNumber("cbSize", info.cbSize);
            json.WriteNumber("major", info.dwMajorVersion);
            json.WriteNumber("minor", info.dwMinorVersion);
            json.WriteNumber("build", info.dwBuildNumber);
            json.WriteNumber("platform", info.dwPlatformID);
            json.WriteEndObject();

            // The module that DllImport bound, found only after the first call loaded it.
            var path = new StringBuilder(32768);
            uint length = GetModuleFileNameW(GetModuleHandleW("Quell.dll"), path, (uint)path.Capacity);
            json.WriteString("module", length == 0 ? null : path.ToString());

            Answer(json, "CheckWindowsNT", Quell.CheckWindowsNT());
            Answer(json, "CheckWindowsNTByOrdinal", Quell.CheckWindowsNTByOrdinal());
            Answer(json, "CheckUserName", Quell.CheckUserName());
            Answer(json, "CheckMsDosModus", Quell.CheckMsDosModus());
            Answer(json, "IsPwrSuspendAllowed", Quell.IsPwrSuspendAllowed());
            Answer(json, "IsPwrHibernateAllowed", Quell.IsPwrHibernateAllowed());
            Answer(json, "CheckSystemPowerStatus", Quell.CheckSystemPowerStatus());

            var capabilities = new byte[76];
            Answer(json, "GetPwrCapabilities", Quell.GetPwrCapabilities(capabilities));
            json.WriteStartObject("capabilities");
            json.WriteBoolean("SystemS1", capabilities[3] != 0);
            json.WriteBoolean("SystemS2", capabilities[4] != 0);
            json.WriteBoolean("SystemS3", capabilities[5] != 0);
            json.WriteBoolean("SystemS4", capabilities[6] != 0);
            json.WriteBoolean("HiberFilePresent", capabilities[8] != 0);
            json.WriteEndObject();

            json.WriteStartObject("system");
            json.WriteNumber("major", Environment.OSVersion.Version.Major);
            json.WriteNumber("minor", Environment.OSVersion.Version.Minor);
            json.WriteEndObject();
            json.WriteEndObject();
        }
        Console.WriteLine(Encoding.UTF8.GetString(stream.ToArray()));
        return 0;
    }

    // The last-error value is read right after the call, before anything else reaches the system.
    static void Answer(Utf8JsonWriter json, string export, bool result)
    {
        int lastError = Marshal.GetLastWin32Error();
        json.WriteStartObject(export);
        json.WriteBoolean("result", result);
        json.WriteNumber("lastError", lastError);
        json.WriteEndObject();
    }
}

// Finding and loading Quell.dll: only the copy built for this process's
// architecture, only from where the packages put it, and only by full path, so
// that neither the current directory nor PATH can supply another file.
//   .NET 8 and later: runtimes\win-ARCH\native\ under the program's directory
//   (an AnyCPU build), or beside the program (built for one runtime).
//   .NET Framework: ARCH\ (x86, x64, arm64) or beside, in the directory of
//   Quell.Net.dll or of the program (the package's targets place them so).
// On .NET 8 the resolver hands the generated calls the loaded module; on .NET
// Framework the loader finds the module already loaded under its name.
using System;
using System.Collections.Generic;
using System.ComponentModel;
using System.Diagnostics.CodeAnalysis;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Quell;

internal static class Library
{
    private const string FileName = "Quell.dll";
    private const int BadExeFormat = 193;  // ERROR_BAD_EXE_FORMAT: another architecture's image
    private const uint LoadWithAlteredSearchPath = 0x8;  // its own imports from its directory, not the program's

    private static readonly object Gate = new();
    private static IntPtr handle;

    /// <summary>The architecture's folder name (x86, x64, arm64); null for one Quell.dll is not built for.</summary>
    internal static string? Architecture => RuntimeInformation.ProcessArchitecture switch
    {
        System.Runtime.InteropServices.Architecture.X86 => "x86",
        System.Runtime.InteropServices.Architecture.X64 => "x64",
        System.Runtime.InteropServices.Architecture.Arm64 => "arm64",
        _ => null,
    };

    /// <summary>Loads Quell.dll on first need; throws saying which file to use when it cannot.</summary>
    internal static void EnsureLoaded()
    {
        if (handle != IntPtr.Zero) return;
        lock (Gate)
        {
            if (handle != IntPtr.Zero) return;
            IntPtr loaded = Load();
#if NET
            NativeLibrary.SetDllImportResolver(typeof(Library).Assembly,
                static (name, _, _) => name == FileName ? handle : IntPtr.Zero);
#endif
            handle = loaded;
        }
    }

    /// <summary>The places searched, in order, for this process's architecture.</summary>
#if NET
    // A single-file program has no location for the assembly: the program's directory stands.
    [UnconditionalSuppressMessage("SingleFile", "IL3000", Justification = "An empty location is skipped.")]
#endif
    internal static IEnumerable<string> Candidates(string architecture)
    {
        string? own = Path.GetDirectoryName(typeof(Library).Assembly.Location);
        var directories = new[] { own, AppContext.BaseDirectory }
            .Where(directory => !string.IsNullOrEmpty(directory) && Path.IsPathRooted(directory))
            .Select(directory => Path.GetFullPath(directory!).TrimEnd(Path.DirectorySeparatorChar))
            .Distinct(StringComparer.OrdinalIgnoreCase)
            .ToList();
#if NET
        string subdirectory = Path.Combine("runtimes", "win-" + architecture, "native");
#else
        string subdirectory = architecture;
#endif
        foreach (string directory in directories) yield return Path.Combine(directory, subdirectory, FileName);
        foreach (string directory in directories) yield return Path.Combine(directory, FileName);
    }

    private static IntPtr Load()
    {
        string architecture = Architecture ?? throw new PlatformNotSupportedException(
            $"Quell.dll is built for x86, x64 and ARM64 processes; this process is {RuntimeInformation.ProcessArchitecture}.");
        List<string> candidates = Candidates(architecture).ToList();
        string? path = candidates.FirstOrDefault(File.Exists);
        if (path is null)
        {
            throw new DllNotFoundException(
                $"Quell.dll was not found; it is loaded only from {string.Join(", ", candidates)}. {WhatToUse(architecture)}");
        }
        IntPtr module = NativeMethods.LoadLibraryExW(path, IntPtr.Zero, LoadWithAlteredSearchPath);
        if (module != IntPtr.Zero) return module;
        int error = Marshal.GetLastWin32Error();
        string why = new Win32Exception(error).Message.Replace("%1", FileName);
        if (error == BadExeFormat)
        {
            throw new BadImageFormatException(
                $"{path} could not be loaded ({why}): it is not built for {Title(architecture)}, the architecture of this " +
                $"process, or the file is damaged. {WhatToUse(architecture)}", path);
        }
        throw new DllNotFoundException($"{path} could not be loaded: {why} (last error {error}). {WhatToUse(architecture)}");
    }

    private static string WhatToUse(string architecture) =>
        $"Use the Quell.dll of {Metadata("Quell.Bundle." + architecture)}.zip, or the NuGet package Quell " +
        $"{typeof(Library).Assembly.GetName().Version?.ToString(3)} (runtimes/win-{architecture}/native/Quell.dll), " +
        $"for {Title(architecture)} processes.";

    private static string Title(string architecture) => Metadata("Quell.Title." + architecture);

    private static string Metadata(string key) =>
        typeof(Library).Assembly.GetCustomAttributes<AssemblyMetadataAttribute>()
            .FirstOrDefault(attribute => attribute.Key == key)?.Value ?? key;
}

// Runs hosted.ps1 beside the program, with $QuellHere naming the program's folder;
// writes each output as a line, then each error as error|exception|category.
using System;
using System.IO;
using System.Management.Automation;
using System.Management.Automation.Runspaces;

var state = InitialSessionState.CreateDefault2();
state.ExecutionPolicy = Microsoft.PowerShell.ExecutionPolicy.Bypass;
state.Variables.Add(new SessionStateVariableEntry("QuellHere", AppContext.BaseDirectory, "The host's folder."));
using var shell = PowerShell.Create(state);
shell.AddScript(File.ReadAllText(Path.Combine(AppContext.BaseDirectory, "hosted.ps1")));
foreach (PSObject item in shell.Invoke()) Console.WriteLine(item);
foreach (ErrorRecord error in shell.Streams.Error)
{
    Console.WriteLine($"error|{error.Exception.GetType().FullName}|{error.CategoryInfo.Category}");
}
return 0;

// Compiled against Quell.Net's netstandard2.0 build: the typed API from .NET Framework.
static class FrameworkNetClient
{
    static System.Version Version() { return Quell.QuellLibrary.Version; }
}

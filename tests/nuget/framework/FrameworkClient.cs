// Nothing to run: the build proves where the package puts Quell.dll.
static class Program
{
    static int Main() { return 0; }
}

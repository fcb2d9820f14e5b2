// The library's only use is to stand between a program and the Quell package.
public static class FrameworkLibrary
{
}

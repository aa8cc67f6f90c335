// The shortest correct host of zqcrypt in C#: prints the MD5 digest of its
// first argument in hex. Built with the declarations of bindings/dotnet:
//
//   mcs -out:Hash.exe Hash.cs ../../bindings/dotnet/ZqCrypt.cs
//   LD_LIBRARY_PATH=<folder of libzqcrypt.so> mono Hash.exe "message"
//
// On Windows, beside the zqcrypt.dll of the process: the 32-bit one in an x86
// process, the 64-bit one in an x64 process.
using System;
using System.Text;

static class Hash
{
    static void Main(string[] arguments)
    {
        byte[] digest = Zq.ZqCrypt.Md5(Encoding.UTF8.GetBytes(arguments[0]));
        Console.WriteLine(BitConverter.ToString(digest).Replace("-", "").ToLowerInvariant());
    }
}

// File: PackageHost.cs
//
// A host built against the ZqCrypt NuGet package's assembly, as a .NET user
// would build one: MD5 against the base class library's, Base64 both ways
// against Convert, and one signature of rsa_md5_signatures.txt checked as
// made and against another digest.
//
// Usage: mono PackageHost.exe <rsa_md5_signatures.txt> <package version> [shadow <cache folder>]
// With "shadow", runs the checks again in an application domain that
// shadow-copies its assemblies into the cache folder, as test runners do.
// Prints one line per check; exits 1 when one fails.
using System;
using System.IO;
using System.Linq;
using System.Security.Cryptography;
using Zq;

static class PackageHost
{
    static int failed;

    static void Check(bool good, string what)
    {
        Console.WriteLine((good ? "ok: " : "FAILED: ") + what);
        if (!good) failed++;
    }

    static byte[] Hex(string text)
    {
        return Enumerable.Range(0, text.Length / 2).Select(i => Convert.ToByte(text.Substring(2 * i, 2), 16)).ToArray();
    }

    static int Main(string[] args)
    {
        if (args.Length == 4 && args[2] == "shadow")
        {
            var setup = new AppDomainSetup { ApplicationBase = AppDomain.CurrentDomain.BaseDirectory,
                                             ShadowCopyFiles = "true", CachePath = args[3],
                                             ApplicationName = "PackageHost" };  // Mono: the cache's subfolder
            return AppDomain.CreateDomain("shadow", null, setup).ExecuteAssembly(
                typeof(PackageHost).Assembly.Location, new[] { args[0], args[1], "shadowed" });
        }
        if (args.Length == 3)
            Check(!typeof(ZqCrypt).Assembly.Location.StartsWith(AppDomain.CurrentDomain.BaseDirectory),
                  "the assembly shadow-copied");
        Check(typeof(ZqCrypt).Assembly.GetName().Version == new Version(args[1] + ".0"), "assembly version " + args[1]);

        var data = new byte[45];  // 60 characters of Base64: one line, no line break
        new Random(23).NextBytes(data);
        Check(ZqCrypt.Md5(data).SequenceEqual(MD5.Create().ComputeHash(data)), "MD5");
        string text = ZqCrypt.Base64Encode(data);
        Check(text == Convert.ToBase64String(data), "Base64 encoding");
        Check(ZqCrypt.Base64Decode(text).SequenceEqual(data), "Base64 decoding");

        string[] lines = File.ReadAllLines(args[0]);
        Func<string, byte[]> first = name => Hex(lines.First(line => line.StartsWith(name + " = ")).Substring(name.Length + 3));
        byte[] key = first("Key"), digest = first("Digest"), signature = first("Signature");
        Check(ZqCrypt.Verify(signature, key, digest), "a good signature");
        digest[0] ^= 1;
        Check(!ZqCrypt.Verify(signature, key, digest) && ZqCrypt.LastError() == ZqCrypt.NteBadSignature,
              "a bad signature");
        return failed == 0 ? 0 : 1;
    }
}

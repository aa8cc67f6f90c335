// File: ZqCryptTest.cs
//
// Runs the wrapper of ZqCrypt.cs against the library: MD5 against the base
// class library's MD5, Base64 against Convert, the signature check against
// the OpenSSL-made signatures of rsa_md5_signatures.txt, and bad input. The
// Windows declarations cannot be called here; their entry points and calling
// convention are checked against the DLLs' definition files instead, and the
// choice among the declarations for each kind of process. The runtime
// identifier of the package's library is checked for this process's program
// and for each ELF file named with the identifier it must give.
//
// Usage: mono ZqCryptTest.exe <rsa_md5_signatures.txt> <zqcrypt.def> <zqcrypt64.def> [<ELF file>=<rid>...]
// Prints "N passed, N failed"; exits 1 when a check fails.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Security.Cryptography;
using System.Text;
using Zq;

static class ZqCryptTest
{
    static int passed, failed;

    static void Expect(bool condition, string what)
    {
        if (condition) passed++;
        else
        {
            failed++;
            Console.WriteLine("FAILED: " + what);
        }
    }

    static void ExpectThrows<T>(Action action, string what) where T : Exception
    {
        try
        {
            action();
            Expect(false, what + " (nothing thrown)");
        }
        catch (T)
        {
            passed++;
        }
        catch (Exception other)
        {
            Expect(false, what + " (" + other.GetType().Name + ")");
        }
    }

    static byte[] Hex(string text)
    {
        var bytes = new byte[text.Length / 2];
        for (int i = 0; i < bytes.Length; i++) bytes[i] = Convert.ToByte(text.Substring(2 * i, 2), 16);
        return bytes;
    }

    // Convert's Base64 with CR LF after every complete line of 64 characters.
    static string LibraryLayout(byte[] data)
    {
        string flat = Convert.ToBase64String(data);
        var text = new StringBuilder();
        for (int i = 0; i < flat.Length; i += 64)
        {
            int length = Math.Min(64, flat.Length - i);
            text.Append(flat, i, length);
            if (length == 64) text.Append("\r\n");
        }
        return text.ToString();
    }

    static void DigestsAndText()
    {
        var random = new Random(12);
        var md5 = MD5.Create();
        foreach (int size in new[] { 0, 1, 2, 3, 47, 48, 49, 55, 56, 64, 96, 1000, 65539 })
        {
            var data = new byte[size];
            random.NextBytes(data);
            Expect(ZqCrypt.Md5(data).SequenceEqual(md5.ComputeHash(data)), "Md5 of " + size + " bytes");
            string text = ZqCrypt.Base64Encode(data);
            Expect(text == LibraryLayout(data), "Base64Encode of " + size + " bytes");
            Expect(ZqCrypt.Base64Decode(text).SequenceEqual(data), "Base64Decode of " + size + " bytes");
            Expect(ZqCrypt.Base64Decode(Convert.ToBase64String(data, Base64FormattingOptions.InsertLineBreaks))
                       .SequenceEqual(data), "Base64Decode of 76-character lines, " + size + " bytes");
        }
    }

    static void Signatures(string vectorFile)
    {
        byte[] key = null, digest = null;
        int records = 0;
        foreach (string line in File.ReadAllLines(vectorFile))
        {
            string[] parts = line.Split('=');
            if (parts.Length != 2) continue;
            string name = parts[0].Trim(), value = parts[1].Trim();
            if (name == "Key") key = Hex(value);
            else if (name == "Digest") digest = Hex(value);
            else if (name == "Signature")
            {
                byte[] signature = Hex(value);
                records++;
                Expect(ZqCrypt.Verify(signature, key, digest), "signature " + records + " verifies");
                byte[] wrong = (byte[])digest.Clone();
                wrong[records % 16] ^= 1;
                Expect(!ZqCrypt.Verify(signature, key, wrong), "signature " + records + " against another digest");
                Expect(ZqCrypt.LastError() == ZqCrypt.NteBadSignature, "last error after a mismatch");
            }
        }
        Expect(records > 0, "signatures read from " + vectorFile);

        // Bad input: the documented exception or result.
        ExpectThrows<ZqCryptCheckException>(() => ZqCrypt.Verify(new byte[64], key, new byte[15]), "15-byte digest");
        ExpectThrows<ZqCryptCheckException>(() => ZqCrypt.Verify(new byte[64], key, new byte[17]), "17-byte digest");
        ExpectThrows<ZqCryptCheckException>(() => ZqCrypt.Verify(new byte[64], new byte[19], digest), "19-byte key");
        Expect(!ZqCrypt.Verify(new byte[0], key, digest), "an empty signature does not match");
        ExpectThrows<ArgumentNullException>(() => ZqCrypt.Verify(null, key, digest), "null signature");
        ExpectThrows<ArgumentNullException>(() => ZqCrypt.Md5(null), "Md5 of null");
        ExpectThrows<ArgumentException>(() => ZqCrypt.Base64Decode("YW\u00e9j"), "non-ASCII text");
        // The length alone: an input whose text would exceed int.MaxValue
        // characters is refused, never encoded in part.
        ExpectThrows<ArgumentException>(() => ZqCrypt.TextLength(int.MaxValue), "Base64 text beyond int.MaxValue");
        Expect(ZqCrypt.Base64Decode("YQ==YWJj").SequenceEqual(Convert.FromBase64String("YQ==")),
               "decoding stops after a padded group");
    }

    static DllImportAttribute Import(MethodInfo method)
    {
        return method.GetCustomAttributes(typeof(DllImportAttribute), false).Cast<DllImportAttribute>().Single();
    }

    static HashSet<string> Exports(string definitionFile, string prefix)
    {
        return new HashSet<string>(File.ReadAllLines(definitionFile)
            .Select(line => line.Trim().Split(' ')[0]).Where(name => name.StartsWith(prefix)));
    }

    // The Windows declarations. 32-bit: stdcall, and entry points that the
    // DLL's definition file exports, with @N = 4 bytes per argument. 64-bit:
    // the plain names the x64 DLL's definition file exports, and the same
    // last-error handling. Each process picks its set.
    static void WindowsDeclarations(string definitionFile, string definition64File)
    {
        var exported = Exports(definitionFile, "_zqCrypt");
        var plain = Exports(definition64File, "zqCrypt");
        var methods = typeof(ZqCryptWin32).GetMethods(BindingFlags.Public | BindingFlags.Static);
        Expect(methods.Length == 7 && exported.Count == 7 && plain.Count == 7,
               "seven Windows declarations, seven exports of each DLL");
        foreach (MethodInfo method in methods)
        {
            var import = Import(method);
            string expected = "_" + method.Name + "@" + 4 * method.GetParameters().Length;
            Expect(import.EntryPoint == expected && exported.Contains(expected),
                   method.Name + " binds " + import.EntryPoint + ", the DLL exports " + expected);
            Expect(import.CallingConvention == CallingConvention.StdCall, method.Name + " is stdcall");
            var x64 = typeof(ZqCryptWin64).GetMethod(method.Name);
            var import64 = Import(x64);
            Expect(import64.Value == import.Value && import64.EntryPoint == method.Name && plain.Contains(method.Name)
                   && import64.SetLastError == import.SetLastError,
                   method.Name + " on x64: " + import64.Value + " " + import64.EntryPoint);
            Expect(x64.ToString() == method.ToString(), method.Name + " on x64 has the 32-bit parameters");
        }
        Expect(ZqCrypt.Pick(PlatformID.Win32NT, 4) == ZqCrypt.NameSet.Win32 &&
               ZqCrypt.Pick(PlatformID.Win32NT, 8) == ZqCrypt.NameSet.Win64 &&
               ZqCrypt.Pick(PlatformID.Unix, 4) == ZqCrypt.NameSet.Posix &&
               ZqCrypt.Pick(PlatformID.Unix, 8) == ZqCrypt.NameSet.Posix, "the declarations each process picks");
    }

    // The package's runtimes/<rid>/ folder each ELF file's machine selects.
    static void Runtimes(IEnumerable<string> expectations)
    {
        Expect(PackageLibrary.Runtime("/proc/self/exe") == (IntPtr.Size == 8 ? "linux-x64" : "linux-x86"),
               "this process's runtime: " + PackageLibrary.Runtime("/proc/self/exe"));
        Expect(PackageLibrary.Runtime("/nonexistent") == null && PackageLibrary.Runtime("/") == null,
               "no runtime for a missing file or a folder");
        Expect(string.Join(" ", PackageLibrary.Runtimes("/nonexistent", 8)) == "linux-x64 linux-arm64" &&
               string.Join(" ", PackageLibrary.Runtimes("/nonexistent", 4)) == "linux-x86",
               "a program that cannot be read: each runtime of the pointer size");
        // An x86-64 ELF header of the 32-bit class (the x32 ABI's) names none.
        string x32 = Path.GetTempFileName();
        var header = new byte[64];
        new byte[] { 0x7F, (byte)'E', (byte)'L', (byte)'F', 1, 1 }.CopyTo(header, 0);
        header[18] = 62;
        File.WriteAllBytes(x32, header);
        Expect(PackageLibrary.Runtime(x32) == null, "no runtime for an x32 file");
        File.Delete(x32);
        foreach (string expectation in expectations)
        {
            string path = expectation.Substring(0, expectation.LastIndexOf('='));
            string rid = expectation.Substring(path.Length + 1), found = PackageLibrary.Runtime(path);
            Expect(found == rid, path + ": runtime " + (found ?? "none") + ", not " + rid);
        }
    }

    // Repeated calls leave resident memory where it was: one output record
    // not cleared per call would add megabytes.
    static void NoLeaks()
    {
        var data = new byte[16384];
        var message = new byte[64];
        string text = ZqCrypt.Base64Encode(data);
        var calls = new Dictionary<string, KeyValuePair<Action, int>> {
            { "Md5", new KeyValuePair<Action, int>(() => ZqCrypt.Md5(message), 300000) },
            { "Base64Encode", new KeyValuePair<Action, int>(() => ZqCrypt.Base64Encode(data), 3000) },
            { "Base64Decode", new KeyValuePair<Action, int>(() => ZqCrypt.Base64Decode(text), 3000) },
        };
        foreach (var call in calls)
        {
            for (int i = 0; i < call.Value.Value / 10; i++) call.Value.Key();
            GC.Collect();
            long before = ResidentBytes();
            for (int i = 0; i < call.Value.Value; i++) call.Value.Key();
            GC.Collect();
            long grown = ResidentBytes() - before;
            Expect(grown < (8 << 20), call.Key + ": resident memory grew by " + grown + " bytes");
        }
    }

    static long ResidentBytes()
    {
        string[] fields = File.ReadAllText("/proc/self/statm").Split(' ');
        return long.Parse(fields[1]) * Environment.SystemPageSize;
    }

    static int Main(string[] arguments)
    {
        if (arguments.Length < 3)
        {
            Console.WriteLine("usage: ZqCryptTest.exe <rsa_md5_signatures.txt> <zqcrypt.def> <zqcrypt64.def> " +
                              "[<ELF file>=<rid>...]");
            return 2;
        }
        DigestsAndText();
        Signatures(arguments[0]);
        WindowsDeclarations(arguments[1], arguments[2]);
        Runtimes(arguments.Skip(3));
        if (File.Exists("/proc/self/statm")) NoLeaks();
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}

// File: ZqCryptTest.cs
//
// Runs the wrapper of ZqCrypt.cs against the library: MD5 against the base
// class library's MD5, Base64 against Convert, the signature check against
// the OpenSSL-made signatures of rsa_md5_signatures.txt, and bad input. The
// Windows declarations cannot be called here; their entry points and calling
// convention are checked against the DLL's definition file instead.
//
// Usage: mono ZqCryptTest.exe <rsa_md5_signatures.txt> <zqcrypt.def>
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

    // The Windows declarations: stdcall, and entry points that the DLL's
    // definition file exports, with @N = 4 bytes per argument.
    static void WindowsDeclarations(string definitionFile)
    {
        var exported = new HashSet<string>(File.ReadAllLines(definitionFile)
            .Select(line => line.Trim().Split(' ')[0]).Where(name => name.StartsWith("_zqCrypt")));
        var methods = typeof(ZqCryptWin32).GetMethods(BindingFlags.Public | BindingFlags.Static);
        Expect(methods.Length == 7 && exported.Count == 7, "seven Windows declarations, seven exports");
        foreach (MethodInfo method in methods)
        {
            var import = method.GetCustomAttributes(typeof(DllImportAttribute), false)
                               .Cast<DllImportAttribute>().Single();
            string expected = "_" + method.Name + "@" + 4 * method.GetParameters().Length;
            Expect(import.EntryPoint == expected && exported.Contains(expected),
                   method.Name + " binds " + import.EntryPoint + ", the DLL exports " + expected);
            Expect(import.CallingConvention == CallingConvention.StdCall, method.Name + " is stdcall");
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
        if (arguments.Length != 2)
        {
            Console.WriteLine("usage: ZqCryptTest.exe <rsa_md5_signatures.txt> <zqcrypt.def>");
            return 2;
        }
        DigestsAndText();
        Signatures(arguments[0]);
        WindowsDeclarations(arguments[1]);
        if (File.Exists("/proc/self/statm")) NoLeaks();
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}

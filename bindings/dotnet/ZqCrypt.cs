// File: ZqCrypt.cs
//
// zqcrypt from .NET: the P/Invoke declarations of the library's functions and
// a small safe wrapper over them. Add this one file to a project; it needs no
// unsafe code and nothing beyond the base class library.
//
//   byte[] digest = Zq.ZqCrypt.Md5(message);
//   bool good = Zq.ZqCrypt.Verify(signature, keyBlob, digest);
//
// Three sets of declarations bind the same functions:
//   ZqCryptWin32  zqcrypt.dll in a 32-bit Windows process: stdcall, decorated
//                 export names (_zqCryptHashBuffer@12), the system's
//                 last-error value.
//   ZqCryptWin64  zqcrypt.dll in a 64-bit Windows process (the x64 DLL): the
//                 one calling convention of x64, plain export names
//                 (zqCryptHashBuffer), the system's last-error value.
//   ZqCryptPosix  libzqcrypt.so: the C calling convention, plain names, and
//                 zqGetLastError / zqSetLastError for the last-error value.
// ZqCrypt picks one when it is first used (Pick), by the system and the
// process's pointer size, so one assembly (AnyCPU) serves 32- and 64-bit
// processes alike, given the DLL built for each. On Linux, when the NuGet
// package's runtimes/<rid>/native/libzqcrypt.so for the process's
// architecture (linux-x64, linux-x86, linux-arm64) lies where the package put
// it, relative to this assembly, ZqCrypt calls that library, loaded by its
// full path (PackageLibrary): Mono does not look in runtimes/, so the host
// needs neither LD_LIBRARY_PATH nor a copy of the library beside it.
// Otherwise (a program with the library beside it or on the loader's paths)
// the declarations resolve by name; when that fails too, the DllNotFoundException names each
// package path tried and why it did not load. The tests of this file run
// under Mono on Linux, where only ZqCryptPosix is called: the Windows sets
// (their calling conventions, entry points and last-error handling, and the
// 12-byte record of the 32-bit DLL) are exercised only on Windows; on Linux
// their entry points are checked against the DLLs' export lists, not called.
//
// CryptBlob records: the library owns the bytes of every record it fills, and
// releases them in zqCryptBlobClear. The wrapper copies what it needs out of
// an output record and clears it in a finally block, whatever happens. Input
// records point straight at the caller's pinned array: the library only reads
// them and never releases or keeps an input's bytes.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Zq
{
    /// <summary>The library's record: byte count, opaque tag, pointer to the
    /// library's bytes. 12 bytes in a 32-bit process, 16 in a 64-bit one, as
    /// the C compiler lays it out. A zero-filled record is the empty blob.</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct CryptBlob
    {
        /// <summary>The number of bytes at Data.</summary>
        public uint Size;
        /// <summary>Opaque to the library's callers; 0 in every record it fills.</summary>
        public uint Tag;
        /// <summary>The library's bytes: never set by the caller, never freed by it.</summary>
        public IntPtr Data;
    }

    /// <summary>zqcrypt.dll in a 32-bit Windows process: stdcall, decorated
    /// names. The last error is read with Marshal.GetLastWin32Error().</summary>
    public static class ZqCryptWin32
    {
        const string Dll = "zqcrypt.dll";
        const CallingConvention Call = CallingConvention.StdCall;

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobInit"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptBlobInit@8", CallingConvention = Call)]
        public static extern UIntPtr zqCryptBlobInit(ref CryptBlob blob, uint size);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobClear"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptBlobClear@4", CallingConvention = Call)]
        public static extern uint zqCryptBlobClear(ref CryptBlob blob);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobCopy"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptBlobCopy@8", CallingConvention = Call)]
        public static extern uint zqCryptBlobCopy(ref CryptBlob destination, ref CryptBlob source);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptHashBuffer"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptHashBuffer@12", CallingConvention = Call, SetLastError = true)]
        public static extern uint zqCryptHashBuffer(ref CryptBlob input, uint reserved, ref CryptBlob output);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptUUDecode"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptUUDecode@12", CallingConvention = Call)]
        public static extern uint zqCryptUUDecode(ref CryptBlob text, uint reserved, ref CryptBlob output);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptUUEncode"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptUUEncode@12", CallingConvention = Call)]
        public static extern uint zqCryptUUEncode(ref CryptBlob input, uint reserved, ref CryptBlob text);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptVerifySignature"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "_zqCryptVerifySignature@20", CallingConvention = Call, SetLastError = true)]
        public static extern uint zqCryptVerifySignature(ref CryptBlob signature, ref CryptBlob key,
                                                         ref CryptBlob digest, uint reserved, out uint matches);
    }

    /// <summary>zqcrypt.dll in a 64-bit Windows process: the x64 DLL, plain
    /// names (x64 has one calling convention). The last error is read with
    /// Marshal.GetLastWin32Error().</summary>
    public static class ZqCryptWin64
    {
        const string Dll = "zqcrypt.dll";

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobInit"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptBlobInit")]
        public static extern UIntPtr zqCryptBlobInit(ref CryptBlob blob, uint size);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobClear"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptBlobClear")]
        public static extern uint zqCryptBlobClear(ref CryptBlob blob);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptBlobCopy"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptBlobCopy")]
        public static extern uint zqCryptBlobCopy(ref CryptBlob destination, ref CryptBlob source);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptHashBuffer"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptHashBuffer", SetLastError = true)]
        public static extern uint zqCryptHashBuffer(ref CryptBlob input, uint reserved, ref CryptBlob output);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptUUDecode"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptUUDecode")]
        public static extern uint zqCryptUUDecode(ref CryptBlob text, uint reserved, ref CryptBlob output);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptUUEncode"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptUUEncode")]
        public static extern uint zqCryptUUEncode(ref CryptBlob input, uint reserved, ref CryptBlob text);

        /// <summary>As <see cref="ZqCryptPosix.zqCryptVerifySignature"/>, from zqcrypt.dll.</summary>
        [DllImport(Dll, EntryPoint = "zqCryptVerifySignature", SetLastError = true)]
        public static extern uint zqCryptVerifySignature(ref CryptBlob signature, ref CryptBlob key,
                                                         ref CryptBlob digest, uint reserved, out uint matches);
    }

    /// <summary>libzqcrypt.so (and other C builds of the library): the C
    /// calling convention and plain names.</summary>
    public static class ZqCryptPosix
    {
        const string Library = "zqcrypt";
        const CallingConvention Call = CallingConvention.Cdecl;

        /// <summary>Makes the record a fresh one of size uninitialised bytes, overwriting (not releasing)
        /// what it held; returns the address of the bytes as an unsigned integer, 0 for size 0 or an
        /// exhausted heap.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern UIntPtr zqCryptBlobInit(ref CryptBlob blob, uint size);

        /// <summary>Releases the record's bytes and leaves it empty; 1.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptBlobClear(ref CryptBlob blob);

        /// <summary>Fills destination with a copy of source's bytes; 1 on success, 0 on failure.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptBlobCopy(ref CryptBlob destination, ref CryptBlob source);

        /// <summary>Fills output with the 16-byte MD5 digest of input; 1 on success, 0 on failure (last error
        /// 13 for an input without data).</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptHashBuffer(ref CryptBlob input, uint reserved, ref CryptBlob output);

        /// <summary>Fills output with the bytes of the Base64 text in text; 1 on success, 0 on
        /// failure.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptUUDecode(ref CryptBlob text, uint reserved, ref CryptBlob output);

        /// <summary>Fills text with the Base64 text of input (CR LF after every 64 characters, then 4 to 6
        /// zero bytes); 1 on success, 0 on failure.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptUUEncode(ref CryptBlob input, uint reserved, ref CryptBlob text);

        /// <summary>Sets matches to 1 when the lowest 128 bits of signature^e mod n equal digest, else 0
        /// (last error 0x80090006); returns 1 when the check was made, 0 when it could not be.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqCryptVerifySignature(ref CryptBlob signature, ref CryptBlob key,
                                                         ref CryptBlob digest, uint reserved, out uint matches);

        /// <summary>The calling thread's last-error value.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern uint zqGetLastError();

        /// <summary>Sets the calling thread's last-error value.</summary>
        [DllImport(Library, CallingConvention = Call)]
        public static extern void zqSetLastError(uint value);
    }

    /// <summary>The native library of the NuGet package this assembly came
    /// from, on Linux: runtimes/RID/native/libzqcrypt.so, RID the process's
    /// architecture (linux-x64, linux-x86, linux-arm64, read from the ELF
    /// header of its program; each of its pointer size when that cannot be
    /// read), in this assembly's folder, from a build output
    /// that keeps the package's layout, or two folders up, from the package's
    /// lib/net45/; loaded by its full path with dlopen. The assembly's folder
    /// is the one of Assembly.Location, then the one of Assembly.CodeBase (a
    /// shadow-copied assembly lies in a cache, its code base does not), then
    /// the application's base folder. The first file that loads is the one;
    /// one that does not is passed over. Absent (Bind returns null) on
    /// Windows, or when no file is there or none loads: Failure then says
    /// what was tried.</summary>
    static class PackageLibrary
    {
        const int RtldNow = 2;

        [DllImport("libdl.so.2")]
        static extern IntPtr dlopen(string path, int mode);

        [DllImport("libdl.so.2")]
        static extern IntPtr dlsym(IntPtr handle, string name);

        [DllImport("libdl.so.2")]
        static extern IntPtr dlerror();

        /// <summary>Why the package's library is not loaded: each path tried
        /// and what became of it; null when it is loaded or on Windows.</summary>
        internal static string Failure;

        static readonly IntPtr Handle = Open();

        // The paths the package's library may have, most likely first, each
        // once: in each folder the assembly may have come from, then two
        // folders above it.
        static string[] Candidates(string native)
        {
            var assembly = typeof(PackageLibrary).Assembly;
            var paths = new System.Collections.Generic.List<string>();
            foreach (Func<string> folder in new Func<string>[] {
                () => Path.GetDirectoryName(assembly.Location),  // empty when loaded from bytes
                () => Path.GetDirectoryName(new Uri(assembly.CodeBase).LocalPath),
                () => AppDomain.CurrentDomain.BaseDirectory })
            {
                string found;
                try { found = folder(); }
                catch (Exception) { continue; }  // no code base, or not a file: address
                if (string.IsNullOrEmpty(found)) continue;
                foreach (string path in new[] { Path.Combine(found, native), Path.Combine(found, "..", "..", native) })
                    if (!paths.Contains(Path.GetFullPath(path))) paths.Add(Path.GetFullPath(path));
            }
            return paths.ToArray();
        }

        /// <summary>The runtime identifier of the ELF file at
        /// <paramref name="path"/>'s machine (linux-x64, linux-x86,
        /// linux-arm64), null for another machine, a class (32 or 64 bits)
        /// that is not the machine's, or a file that is not a readable
        /// little-endian ELF file.</summary>
        internal static string Runtime(string path)
        {
            var header = new byte[20];
            try
            {
                using (var file = File.OpenRead(path))
                    if (file.Read(header, 0, header.Length) != header.Length) return null;
            }
            catch (Exception) { return null; }  // absent, unreadable, not a file
            if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F' || header[5] != 1)
                return null;
            bool wide = header[4] == 2, narrow = header[4] == 1;
            switch (header[18] | header[19] << 8)
            {
                case 62: return wide ? "linux-x64" : null;
                case 3: return narrow ? "linux-x86" : null;
                case 183: return wide ? "linux-arm64" : null;
                default: return null;
            }
        }

        /// <summary>The runtime identifiers whose library a process may
        /// load, most likely first: its program's (<paramref name="program"/>),
        /// or, when that cannot be read, each one of its pointer size, as the
        /// pointer size alone does not tell x86-64 from ARM64 (the loader
        /// refuses a library of another machine, and the next is tried).</summary>
        internal static string[] Runtimes(string program, int pointerSize)
        {
            string rid = Runtime(program);
            if (rid != null) return new[] { rid };
            return pointerSize == 8 ? new[] { "linux-x64", "linux-arm64" } : new[] { "linux-x86" };
        }

        static IntPtr Open()
        {
            if (Environment.OSVersion.Platform != PlatformID.Unix) return IntPtr.Zero;
            var tried = new System.Text.StringBuilder("the package's library: ");
            try
            {
                dlerror();  // binds dlerror now, and clears an earlier error
                foreach (string rid in Runtimes("/proc/self/exe", IntPtr.Size))
                foreach (string path in Candidates(Path.Combine("runtimes", rid, "native", "libzqcrypt.so")))
                {
                    if (!File.Exists(path))
                    {
                        tried.Append(path + ": absent; ");
                        continue;
                    }
                    IntPtr handle = dlopen(path, RtldNow);
                    if (handle != IntPtr.Zero) return handle;
                    tried.Append(Marshal.PtrToStringAnsi(dlerror()) + "; ");  // dlerror names the path
                }
            }
            catch (DllNotFoundException)  // no glibc's libdl (another Unix): the declarations then
            {
                tried.Append("no libdl.so.2 to load it with");
            }
            Failure = tried.ToString().TrimEnd(' ', ';');
            return IntPtr.Zero;
        }

        /// <summary>The library's function <paramref name="name"/> as a
        /// delegate of type T (a delegate type of the C calling convention),
        /// or null when the package's library is not loaded.</summary>
        internal static T Bind<T>(string name) where T : class
        {
            if (Handle == IntPtr.Zero) return null;
            IntPtr function = dlsym(Handle, name);
            if (function == IntPtr.Zero) return null;
            return (T)(object)Marshal.GetDelegateForFunctionPointer(function, typeof(T));
        }
    }

    /// <summary>Thrown by ZqCrypt.Verify when the check could not be made:
    /// a digest that is not 16 bytes, a key blob under its 20-byte header, a
    /// modulus or signature over 16384 bits, or an exhausted heap. Never the
    /// same as a mismatch.</summary>
    public class ZqCryptCheckException : Exception
    {
        /// <summary>An exception with the reason the check could not be made.</summary>
        public ZqCryptCheckException(string message) : base(message) { }
    }

    /// <summary>The safe wrapper: arrays in, arrays out, every output record
    /// cleared.</summary>
    public static class ZqCrypt
    {
        /// <summary>The thread's last error after a signature that does not match.</summary>
        public const uint NteBadSignature = 0x80090006;

        // The C calling convention applies when a delegate is bound to the
        // package's library by address; over the declarations it is unused.
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        delegate uint Service(ref CryptBlob input, uint reserved, ref CryptBlob output);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        delegate uint Check(ref CryptBlob signature, ref CryptBlob key, ref CryptBlob digest,
                            uint reserved, out uint matches);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        delegate uint Clearing(ref CryptBlob blob);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        delegate uint ErrorReading();

        /// <summary>A set of declarations of the library's functions.</summary>
        internal enum NameSet { Win32, Win64, Posix }

        /// <summary>The declarations for a process on <paramref name="platform"/>
        /// with pointers of <paramref name="pointerSize"/> bytes.</summary>
        internal static NameSet Pick(PlatformID platform, int pointerSize)
        {
            if (platform != PlatformID.Win32NT) return NameSet.Posix;
            return pointerSize == 4 ? NameSet.Win32 : NameSet.Win64;
        }

        static readonly NameSet Names = Pick(Environment.OSVersion.Platform, IntPtr.Size);

        // The function of the chosen set; on Linux the package's library's
        // when it is loaded. A delegate over a declaration does not load
        // its library: only a call does.
        static T Choose<T>(T win32, T win64, string name, T posix) where T : class
        {
            switch (Names)
            {
                case NameSet.Win32: return win32;
                case NameSet.Win64: return win64;
                default: return PackageLibrary.Bind<T>(name) ?? posix;
            }
        }

        static readonly Service Hash = Choose<Service>(ZqCryptWin32.zqCryptHashBuffer,
            ZqCryptWin64.zqCryptHashBuffer, "zqCryptHashBuffer", ZqCryptPosix.zqCryptHashBuffer);
        static readonly Service Encode = Choose<Service>(ZqCryptWin32.zqCryptUUEncode,
            ZqCryptWin64.zqCryptUUEncode, "zqCryptUUEncode", ZqCryptPosix.zqCryptUUEncode);
        static readonly Service Decode = Choose<Service>(ZqCryptWin32.zqCryptUUDecode,
            ZqCryptWin64.zqCryptUUDecode, "zqCryptUUDecode", ZqCryptPosix.zqCryptUUDecode);
        static readonly Check VerifySignature = Choose<Check>(ZqCryptWin32.zqCryptVerifySignature,
            ZqCryptWin64.zqCryptVerifySignature, "zqCryptVerifySignature", ZqCryptPosix.zqCryptVerifySignature);
        static readonly Clearing Clear = Choose<Clearing>(ZqCryptWin32.zqCryptBlobClear,
            ZqCryptWin64.zqCryptBlobClear, "zqCryptBlobClear", ZqCryptPosix.zqCryptBlobClear);
        static readonly ErrorReading PosixLastError = Names != NameSet.Posix ? null
            : PackageLibrary.Bind<ErrorReading>("zqGetLastError") ?? ZqCryptPosix.zqGetLastError;

        // A zero-length input still needs a non-null pointer: the hash
        // refuses a record without data.
        static readonly byte[] Empty = new byte[1];

        /// <summary>An input record over a pinned array; Dispose unpins it.</summary>
        struct Input : IDisposable
        {
            GCHandle pin;
            public readonly CryptBlob Blob;

            public Input(byte[] data, string name)
            {
                if (data == null) throw new ArgumentNullException(name);
                pin = GCHandle.Alloc(data.Length == 0 ? Empty : data, GCHandleType.Pinned);
                Blob = new CryptBlob { Size = (uint)data.Length, Tag = 0, Data = pin.AddrOfPinnedObject() };
            }

            public void Dispose()
            {
                if (pin.IsAllocated) pin.Free();
            }
        }

        // Runs a service over `data` and returns the first `length` bytes of
        // its output (all of them when `length` is negative).
        static byte[] Run(Service service, byte[] data, string name, Func<int, int> length)
        {
            return Calling(() => Produce(service, data, name, length));
        }

        // Mono's message names neither a path nor the loader's reason: when
        // the library is found neither by name nor in the package, the
        // exception says what became of each file tried.
        static T Calling<T>(Func<T> call)
        {
            try
            {
                return call();
            }
            catch (DllNotFoundException byName) when (PackageLibrary.Failure != null)
            {
                throw new DllNotFoundException("zqcrypt: no library to call: by name, " + byName.Message + "; " +
                                               PackageLibrary.Failure, byName);
            }
        }

        static byte[] Produce(Service service, byte[] data, string name, Func<int, int> length)
        {
            using (var input = new Input(data, name))
            {
                CryptBlob source = input.Blob;
                CryptBlob output = new CryptBlob();
                try
                {
                    if (service(ref source, 0, ref output) == 0)
                        throw new OutOfMemoryException("zqcrypt: the library could not produce its output");
                    int size = (int)Math.Min(output.Size, (uint)length(data.Length));
                    byte[] result = new byte[size];
                    if (size > 0) Marshal.Copy(output.Data, result, 0, size);
                    return result;
                }
                finally
                {
                    Clear(ref output);
                }
            }
        }

        /// <summary>The 16-byte MD5 digest (RFC 1321) of <paramref name="data"/>.</summary>
        public static byte[] Md5(byte[] data)
        {
            return Run(Hash, data, "data", size => int.MaxValue);
        }

        /// <summary>The Base64 text of <paramref name="data"/> (RFC 4648
        /// alphabet, "=" padding) in the library's layout: CR LF after every 64
        /// characters, the last line included when it is complete; without the
        /// zero bytes the library puts behind it. An input whose text would
        /// be longer than int.MaxValue characters throws ArgumentException.</summary>
        public static string Base64Encode(byte[] data)
        {
            if (data == null) throw new ArgumentNullException("data");
            int length = TextLength(data.Length);
            byte[] text = Run(Encode, data, "data", size => length);
            return System.Text.Encoding.ASCII.GetString(text);
        }

        /// <summary>The bytes of the Base64 text <paramref name="text"/>. The
        /// library never rejects text: it reads four characters at a time to
        /// the first zero byte, skips CR, LF, space and TAB between groups,
        /// stops after the first group that ends in "=", and counts characters
        /// outside the alphabet as 0. Non-ASCII characters throw
        /// ArgumentException.</summary>
        public static byte[] Base64Decode(string text)
        {
            if (text == null) throw new ArgumentNullException("text");
            var bytes = new byte[text.Length];
            for (int i = 0; i < text.Length; i++)
            {
                if (text[i] > 0x7F) throw new ArgumentException("zqcrypt: Base64 text must be ASCII", "text");
                bytes[i] = (byte)text[i];
            }
            return Base64Decode(bytes);
        }

        /// <summary>The bytes of the Base64 text held in <paramref name="text"/>; see
        /// Base64Decode(string).</summary>
        public static byte[] Base64Decode(byte[] text)
        {
            return Run(Decode, text, "text", size => int.MaxValue);
        }

        /// <summary>Whether <paramref name="signature"/> (the integer s, least
        /// significant byte first) matches the 16-byte MD5 <paramref
        /// name="digest"/> under the RSA public key <paramref name="keyBlob"/>
        /// (PUBLICKEYBLOB layout).
        ///
        /// true means only that the lowest 128 bits of s^e mod n equal the
        /// digest: the padding and algorithm identifier above them are not
        /// examined, and with a small exponent such as 3 a signature can be
        /// forged for any digest. See the README's section "What the signature
        /// check proves, and what it does not". false means the check was made
        /// and failed; LastError() is then NteBadSignature. A check that could
        /// not be made throws ZqCryptCheckException, never returns false.</summary>
        public static bool Verify(byte[] signature, byte[] keyBlob, byte[] digest)
        {
            return Calling(() => Matches(signature, keyBlob, digest));
        }

        static bool Matches(byte[] signature, byte[] keyBlob, byte[] digest)
        {
            using (var s = new Input(signature, "signature"))
            using (var k = new Input(keyBlob, "keyBlob"))
            using (var d = new Input(digest, "digest"))
            {
                CryptBlob sBlob = s.Blob, kBlob = k.Blob, dBlob = d.Blob;
                uint matches;
                if (VerifySignature(ref sBlob, ref kBlob, ref dBlob, 0, out matches) == 0)
                    throw new ZqCryptCheckException(digest.Length != 16
                        ? "zqcrypt: the check could not be made: the digest is " + digest.Length + " bytes, not 16"
                        : "zqcrypt: the check could not be made (key blob under 20 bytes, operand over 16384 bits, or heap exhausted)");
                return matches == 1;
            }
        }

        /// <summary>The calling thread's last-error value as the library left it.</summary>
        public static uint LastError()
        {
            return Names != NameSet.Posix ? (uint)Marshal.GetLastWin32Error() : Calling(() => PosixLastError());
        }

        // Characters of the encoder's text for `size` input bytes: four per
        // started group of three bytes, CR LF after every complete line of 64.
        // A text longer than a .NET array holds throws ArgumentException
        // before the library does the work, rather than come back cut short.
        internal static int TextLength(int size)
        {
            long characters = 4L * ((size + 2L) / 3);
            characters += 2 * (characters / 64);
            if (characters > int.MaxValue)
                throw new ArgumentException("zqcrypt: the Base64 text of " + size + " bytes would be " + characters +
                                            " characters, more than a .NET array holds", "data");
            return (int)characters;
        }
    }
}

// Finding the native library before the first call, so that a missing one
// is reported with what to do rather than as a bare DllNotFoundException.
//
// .NET (Core) takes VqhwLib.dll or libVqhwLib.so from the package's
// runtimes/<rid>/native. A .NET Framework project that builds AnyCPU gets
// both DLLs from the package's build/VqhwLib.targets, in x86\ and x64\
// beside the program: the one of the process's bitness is loaded here first,
// and the P/Invoke calls then use it. Mono on Linux maps VqhwLib to
// libVqhwLib.so.0 (Vqhw.dll.config beside the assembly).

using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Vqhw
{
    /// <summary>The native library: found once, before the safe layer's first call.</summary>
    public static class LibraryLoader
    {
        static readonly object gate = new object();
        static bool found;

        [DllImport("kernel32", CharSet = CharSet.Unicode, SetLastError = true)]
        static extern IntPtr LoadLibraryW(string path);

        static bool OnWindows { get { return Environment.OSVersion.Platform == PlatformID.Win32NT; } }

        /// <summary>Loads the library unless it is loaded; throws DllNotFoundException
        /// saying where it was looked for and what to install.</summary>
        public static void Ensure()
        {
            lock (gate)
            {
                if (found) return;
                if (OnWindows) LoadBesideAssembly();
                try
                {
                    NativeMethods.hextodec('0');
                }
                catch (DllNotFoundException error)
                {
                    throw new DllNotFoundException(Missing(), error);
                }
                catch (EntryPointNotFoundException error)
                {
                    throw new DllNotFoundException("a library named VqhwLib was loaded, but it lacks the exports: " +
                                                   "is it another program's? " + Missing(), error);
                }
                found = true;
            }
        }

        static void LoadBesideAssembly()
        {
            string directory = Path.GetDirectoryName(typeof(LibraryLoader).Assembly.Location) ?? "";
            string path = Path.Combine(Path.Combine(directory, IntPtr.Size == 8 ? "x64" : "x86"), "VqhwLib.dll");
            if (File.Exists(path)) LoadLibraryW(path);
        }

        /// <summary>Where the library is looked for on this platform, and what provides it.</summary>
        public static string Missing()
        {
            if (OnWindows)
                return "VqhwLib.dll (" + (IntPtr.Size == 8 ? "64" : "32") + "-bit) was not found: the VqhwLib package " +
                       "puts it beside the program (runtimes\\win-x86 or win-x64\\native on .NET, x86\\ and x64\\ on " +
                       ".NET Framework); otherwise ship the DLL of the process's bitness beside the program";
            return "libVqhwLib.so.0 was not found: install the library (apt install libvqhwlib0), or put its " +
                   "directory on LD_LIBRARY_PATH; the VqhwLib package carries it in runtimes/linux-x64/native, and " +
                   "on mono Vqhw.dll.config maps VqhwLib to libVqhwLib.so.0";
        }
    }
}

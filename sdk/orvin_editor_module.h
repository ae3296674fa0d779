/*
 * The entry points an editor module exports for OrvinLauncher.
 *
 * An editor module is a DLL that the launcher installs into the run's install
 * folder, loads (its own folder comes first in the search for the DLLs it
 * needs), calls in this order and then frees:
 *
 *   Initialize          once; a zero result ends the run
 *   InternalCall        once per launch parameter, in the launcher's order
 *                       (optional: a module without it gets no parameters)
 *   one work entry      NewWork, OpenWork, OpenLocalWork, OpenStorage or
 *                       DownloadWorks, chosen by the run's task; it shows
 *                       the editor and returns when the user is done
 *   Uninitialize        once, when Initialize succeeded and the work entry
 *                       (if any) was found; the module releases everything
 *                       here except the result text (below)
 *
 * Calling convention: every entry point is WINAPI (__stdcall on 32-bit x86:
 * the callee removes its arguments). A module built with another convention
 * corrupts the launcher's stack on 32-bit Windows.
 *
 * Export names: exactly the undecorated names below. 32-bit compilers
 * decorate stdcall names ("_Initialize@20"); export the plain names instead:
 * with MinGW link with -Wl,--kill-at, with MSVC list the names under EXPORTS
 * in a .def file.
 *
 * Strings: every string argument is a NUL-terminated UTF-16 string that is
 * valid only during the call; copy what you keep.
 *
 * The result text: a work entry stores a pointer to its result (JSON text,
 * UTF-16) through `result`, which the launcher has set to NULL. The module
 * owns that text and must keep it valid until it is unloaded: the launcher
 * reads it only after Uninitialize has returned, and never frees it. Static
 * storage is the simple way; do not free it in Uninitialize. Leaving
 * `result` NULL means "no text".
 *
 * The result JSON the launcher reads, e.g.
 *   {"exit_code":"0","uploaded_list":["work-id"]}
 * with "off_return_url" as an optional member.
 */
#ifndef ORVIN_EDITOR_MODULE_H
#define ORVIN_EDITOR_MODULE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Define ORVIN_EDITOR_MODULE_EXPORTS when building a module with dllexport. */
#if defined(ORVIN_EDITOR_MODULE_EXPORTS)
#define ORVIN_EDITOR_API __declspec(dllexport)
#else
#define ORVIN_EDITOR_API
#endif

/* The exported names, as the launcher looks them up. */
#define ORVIN_EXPORT_INITIALIZE "Initialize"
#define ORVIN_EXPORT_INTERNAL_CALL "InternalCall"
#define ORVIN_EXPORT_NEW_WORK "NewWork"
#define ORVIN_EXPORT_OPEN_WORK "OpenWork"
#define ORVIN_EXPORT_OPEN_LOCAL_WORK "OpenLocalWork"
#define ORVIN_EXPORT_OPEN_STORAGE "OpenStorage"
#define ORVIN_EXPORT_DOWNLOAD_WORKS "DownloadWorks"
#define ORVIN_EXPORT_UNINITIALIZE "Uninitialize"

/*
 * owner:       the launcher's window, to own the editor's windows
 * mode:        "modal"
 * installPath: the module's install folder, ending with a backslash
 * reserved:    an empty string
 * configHost:  the host part of the configuration URL ("" when it has none)
 * Returns non-zero on success; zero ends the run (no Uninitialize follows).
 */
typedef int(WINAPI* OrvinInitializeProc)(HWND owner, const wchar_t* mode, const wchar_t* installPath,
                                         const wchar_t* reserved, const wchar_t* configHost);

/* One launch parameter; reserved is an empty string. The result is ignored. */
typedef void(WINAPI* OrvinInternalCallProc)(const wchar_t* name, const wchar_t* value,
                                            const wchar_t* reserved);

/* The work entries: non-zero = the work succeeded. */
typedef int(WINAPI* OrvinNewWorkProc)(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid,
                                      int count, const wchar_t** result);
typedef int(WINAPI* OrvinOpenWorkProc)(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid,
                                       int count, const wchar_t** result);
typedef int(WINAPI* OrvinOpenLocalWorkProc)(const wchar_t* lsid, const wchar_t* editorId,
                                            const wchar_t** result);
typedef int(WINAPI* OrvinOpenStorageProc)(const wchar_t* configUrl, const wchar_t* editorId,
                                          const wchar_t** result);
typedef int(WINAPI* OrvinDownloadWorksProc)(const wchar_t* rsid, const wchar_t* userId,
                                            const wchar_t* storageUrl, const wchar_t** result);

/* Releases the module's resources. The result is ignored. */
typedef void(WINAPI* OrvinUninitializeProc)(void);

/* Declarations for module authors; a module may leave out InternalCall and
   the work entries it does not serve. The launcher, which only looks the
   names up, defines ORVIN_EDITOR_HOST and sees the types alone. */
#ifndef ORVIN_EDITOR_HOST
ORVIN_EDITOR_API int WINAPI Initialize(HWND owner, const wchar_t* mode, const wchar_t* installPath,
                                       const wchar_t* reserved, const wchar_t* configHost);
ORVIN_EDITOR_API void WINAPI InternalCall(const wchar_t* name, const wchar_t* value, const wchar_t* reserved);
ORVIN_EDITOR_API int WINAPI NewWork(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid,
                                    int count, const wchar_t** result);
ORVIN_EDITOR_API int WINAPI OpenWork(const wchar_t* configUrl, const wchar_t* editorId, const wchar_t* rsid,
                                     int count, const wchar_t** result);
ORVIN_EDITOR_API int WINAPI OpenLocalWork(const wchar_t* lsid, const wchar_t* editorId,
                                          const wchar_t** result);
ORVIN_EDITOR_API int WINAPI OpenStorage(const wchar_t* configUrl, const wchar_t* editorId,
                                        const wchar_t** result);
ORVIN_EDITOR_API int WINAPI DownloadWorks(const wchar_t* rsid, const wchar_t* userId,
                                          const wchar_t* storageUrl, const wchar_t** result);
ORVIN_EDITOR_API void WINAPI Uninitialize(void);
#endif /* ORVIN_EDITOR_HOST */

#ifdef __cplusplus
}
#endif

#endif /* ORVIN_EDITOR_MODULE_H */

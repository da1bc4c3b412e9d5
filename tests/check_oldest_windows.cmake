# Fails unless the program starts on the oldest Windows it is made for:
# Windows XP SP3 (5.1) for the 32-bit exe, Windows XP x64 (5.2) for the
# 64-bit one.  The loader refuses an exe that imports one function the
# system lacks, before the program's first line runs, so every static
# import is held against the list below.  A function newer than that is
# looked up at run time instead (GetProcAddress), and an import that is not
# in the list fails until someone places it here.
cmake_policy(SET CMP0057 NEW)

# DLL, function, and the oldest Windows that has it (its documented
# minimum): 5.0 Windows 2000, 5.1 XP, 5.2 XP x64 and Server 2003, 6.0
# Vista.  The C runtime's functions are those of the msvcrt.dll that
# Windows itself ships; the 64-bit ones exist from the first 64-bit XP.
set(SINCE
    "advapi32 CryptAcquireContextA 5.0" "advapi32 CryptGenRandom 5.0" "advapi32 CryptReleaseContext 5.0"
    "kernel32 CancelWaitableTimer 5.0" "kernel32 CloseHandle 5.0" "kernel32 CreateEventA 5.0"
    "kernel32 CreateThread 5.0" "kernel32 CreateWaitableTimerA 5.0" "kernel32 DeleteCriticalSection 5.0"
    "kernel32 EnterCriticalSection 5.0" "kernel32 FileTimeToSystemTime 5.0" "kernel32 FreeLibrary 5.0"
    "kernel32 GetACP 5.0" "kernel32 GetFileAttributesA 5.0" "kernel32 GetLastError 5.0"
    "kernel32 GetModuleHandleA 5.0" "kernel32 GetModuleHandleW 5.0" "kernel32 GetProcAddress 5.0"
    "kernel32 GetShortPathNameW 5.0" "kernel32 GetStartupInfoA 5.0" "kernel32 GetSystemDirectoryA 5.0"
    "kernel32 GetSystemPowerStatus 5.0" "kernel32 GetSystemTimeAsFileTime 5.0" "kernel32 GetTickCount 5.0"
    "kernel32 InitializeCriticalSection 5.0" "kernel32 IsDBCSLeadByteEx 5.0" "kernel32 LeaveCriticalSection 5.0"
    "kernel32 LoadLibraryA 5.0" "kernel32 LoadLibraryExA 5.0" "kernel32 LocalFree 5.0"
    "kernel32 MultiByteToWideChar 5.0" "kernel32 SetEvent 5.0" "kernel32 SetLastError 5.0"
    "kernel32 SetThreadExecutionState 5.0" "kernel32 SetUnhandledExceptionFilter 5.0"
    "kernel32 SetWaitableTimer 5.0" "kernel32 Sleep 5.0" "kernel32 SystemTimeToFileTime 5.0"
    "kernel32 SystemTimeToTzSpecificLocalTime 5.0" "kernel32 TlsGetValue 5.0" "kernel32 VirtualProtect 5.0"
    "kernel32 VirtualQuery 5.0" "kernel32 WaitForMultipleObjects 5.0" "kernel32 WaitForSingleObject 5.0"
    "kernel32 WideCharToMultiByte 5.0"
    "kernel32 __C_specific_handler 5.2"
    # One-time initialisation came with Vista.
    "kernel32 InitOnceExecuteOnce 6.0"
    "ole32 CoCreateInstance 5.0" "ole32 CoInitializeEx 5.0" "ole32 CoUninitialize 5.0"
    "user32 BeginPaint 5.0" "user32 CreateDialogParamA 5.0" "user32 DestroyWindow 5.0"
    "user32 DispatchMessageA 5.0" "user32 EnableWindow 5.0" "user32 EndPaint 5.0" "user32 GetDlgItem 5.0"
    "user32 GetDlgItemTextA 5.0" "user32 GetMessageA 5.0" "user32 GetWindow 5.0" "user32 GetWindowTextA 5.0"
    "user32 IsDialogMessageA 5.0" "user32 IsWindowEnabled 5.0" "user32 KillTimer 5.0" "user32 LoadIconA 5.0"
    "user32 MessageBoxA 5.0" "user32 PostMessageA 5.0" "user32 PostQuitMessage 5.0" "user32 SendMessageA 5.0"
    "user32 SetClassLongA 5.0" "user32 SetClassLongPtrA 5.2" "user32 SetDlgItemTextA 5.0" "user32 SetTimer 5.0"
    "user32 SetWindowPos 5.0" "user32 ShowWindow 5.0" "user32 TranslateMessage 5.0" "user32 UpdateWindow 5.0"
    "msvcrt __getmainargs 5.0" "msvcrt __initenv 5.0" "msvcrt __mb_cur_max 5.0" "msvcrt __p__acmdln 5.0"
    "msvcrt __p__commode 5.0" "msvcrt __p__fmode 5.0" "msvcrt __set_app_type 5.0" "msvcrt __setusermatherr 5.0"
    "msvcrt _amsg_exit 5.0" "msvcrt _cexit 5.0" "msvcrt _errno 5.0" "msvcrt _exit 5.0" "msvcrt _initterm 5.0"
    "msvcrt _iob 5.0" "msvcrt _onexit 5.0" "msvcrt _write 5.0" "msvcrt _open 5.0" "msvcrt _close 5.0"
    "msvcrt _acmdln 5.0" "msvcrt _commode 5.0" "msvcrt _fmode 5.0"
    "msvcrt abort 5.0" "msvcrt atoi 5.0" "msvcrt calloc 5.0" "msvcrt exit 5.0" "msvcrt fprintf 5.0"
    "msvcrt fputc 5.0" "msvcrt fputs 5.0" "msvcrt free 5.0" "msvcrt fwrite 5.0" "msvcrt localeconv 5.0"
    "msvcrt malloc 5.0" "msvcrt memcpy 5.0" "msvcrt memset 5.0" "msvcrt setlocale 5.0" "msvcrt signal 5.0"
    "msvcrt strcat 5.0" "msvcrt strchr 5.0" "msvcrt strerror 5.0" "msvcrt strlen 5.0" "msvcrt strncmp 5.0"
    "msvcrt vfprintf 5.0" "msvcrt wcslen 5.0"
    # The start-up code of MinGW-w64 12 (Debian 13) asks for it too.
    "msvcrt _ismbblead 5.0"
    # The C runtime of Windows XP, 7.0, brought these; the 64-bit start-up code uses them.
    "msvcrt ___lc_codepage_func 5.1" "msvcrt ___mb_cur_max_func 5.1" "msvcrt __iob_func 5.1")

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump could not read ${EXE}")
endif()
if(dump MATCHES "file format pei-x86-64")
    set(oldest 5.2)
    set(oldest_name "Windows XP x64")
else()
    set(oldest 5.1)
    set(oldest_name "Windows XP SP3")
endif()

# The header's own request: a newer one makes the loader refuse the exe.
foreach(field OSystem Subsystem)
    string(REGEX MATCH "Major${field}Version[ \t]+([0-9]+)[^M]*Minor${field}Version[ \t]+([0-9]+)" found "${dump}")
    if(NOT found)
        message(FATAL_ERROR "${EXE} gives no ${field} version")
    endif()
    set(asked "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}")
    message(STATUS "${field} version ${asked}")
    if(asked VERSION_GREATER oldest)
        message(FATAL_ERROR "${EXE} asks for Windows ${asked} (${field}), newer than ${oldest_name} (${oldest})")
    endif()
endforeach()

# objdump lists each DLL's imports under its name, one line each: the slot's
# address, then up to binutils 2.43 the hint in decimal, from 2.44 the
# ordinal ("<none>") and the hint in hex; the name last.
string(REPLACE ";" "," dump "${dump}")
# Brackets would hold list items together.
string(REPLACE "[" "(" dump "${dump}")
string(REPLACE "]" ")" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(dll "")
set(count 0)
set(faults "")
foreach(line IN LISTS lines)
    if(line MATCHES "DLL Name: ([^ \t]+)")
        string(TOLOWER "${CMAKE_MATCH_1}" dll)
        string(REGEX REPLACE "\\.dll$" "" dll "${dll}")
    elseif(line MATCHES "^\t[0-9a-f]+[ \t]+(<none>[ \t]+)?[0-9a-f]+[ \t]+([A-Za-z_][A-Za-z_0-9@?]*)$" AND dll)
        set(function "${CMAKE_MATCH_2}")
        math(EXPR count "${count} + 1")
        set(since "")
        foreach(entry IN LISTS SINCE)
            if(entry MATCHES "^${dll} ${function} ([0-9.]+)$")
                set(since "${CMAKE_MATCH_1}")
                break()
            endif()
        endforeach()
        if(NOT since)
            list(APPEND faults "${dll}!${function} is not in the list: place it, with the oldest Windows that has it")
        elseif(since VERSION_GREATER oldest)
            list(APPEND faults "${dll}!${function} needs Windows ${since}, newer than ${oldest_name} (${oldest}): look it up at run time")
        else()
            message(STATUS "imports ${dll}!${function}, in Windows ${since} and later")
        endif()
    elseif(line MATCHES "^[ \t]*$")
        set(dll "")
    elseif(dll AND line MATCHES "^\t[0-9a-f]+[ \t]")
        # An import this test cannot read must not pass unseen.
        list(APPEND faults "cannot read this import of ${dll} in objdump's listing: \"${line}\"")
    endif()
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "no imports found in ${EXE}")
endif()
message(STATUS "${count} functions imported")
if(faults)
    string(REPLACE ";" "\n  " faults "${faults}")
    message(FATAL_ERROR "${EXE} would not start on ${oldest_name}:\n  ${faults}")
endif()

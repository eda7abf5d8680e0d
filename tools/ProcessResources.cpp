#include "ProcessResources.h"

#include <algorithm>
#include <vector>

namespace {

struct HandleEntry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG attributes;
    ULONG reserved;
};

struct HandleList {  // SYSTEM_HANDLE_INFORMATION_EX
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

// The system's list of every process's handles.
bool SystemHandles(std::vector<unsigned char>& buffer)
{
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return false;
    constexpr ULONG kSystemExtendedHandleInformation = 64;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    buffer.resize(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status =
            query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status != kInfoLengthMismatch)
            return status >= 0;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
}

}  // namespace

bool CountResources(DWORD processId, ResourceCounts& counts)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    counts.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    counts.user = GetGuiResources(process, GR_USEROBJECTS);
    CloseHandle(process);
    // A key of krvctl's own tells the type number of registry keys.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    std::vector<unsigned char> buffer;
    const bool listed = SystemHandles(buffer);
    RegCloseKey(key);
    if (!listed)
        return false;
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    int keyType = -1;
    for (ULONG_PTR i = 0; i < list->count; ++i)
        if (list->entries[i].processId == GetCurrentProcessId() &&
            list->entries[i].handle == reinterpret_cast<ULONG_PTR>(key))
            keyType = list->entries[i].objectTypeIndex;
    counts.handles = counts.keys = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i) {
        if (list->entries[i].processId != processId)
            continue;
        ++counts.handles;
        if (list->entries[i].objectTypeIndex == keyType)
            ++counts.keys;
    }
    return keyType >= 0;
}

#pragma once

// GIO names a struct field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QLoggingCategory>

#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcGio)

// GIO (with GObject and the libraries they bring) is loaded at its first use, the
// Devices list or an "Open With" menu, rather than with the program: loading it
// took a tenth of the start. Each member is GIO's function of that name after "g_".
struct GioFunctions {
    decltype(&g_object_unref) object_unref = nullptr;
    decltype(&g_free) free = nullptr;
    decltype(&g_list_append) list_append = nullptr;
    decltype(&g_list_free) list_free = nullptr;
    decltype(&g_list_free_full) list_free_full = nullptr;
    decltype(&g_error_free) error_free = nullptr;
    decltype(&g_signal_connect_data) signal_connect_data = nullptr;
    decltype(&g_signal_handlers_disconnect_matched) signal_handlers_disconnect_matched = nullptr;
    decltype(&g_volume_monitor_get) volume_monitor_get = nullptr;
    decltype(&g_volume_monitor_get_mounts) volume_monitor_get_mounts = nullptr;
    decltype(&g_mount_is_shadowed) mount_is_shadowed = nullptr;
    decltype(&g_mount_get_root) mount_get_root = nullptr;
    decltype(&g_mount_get_name) mount_get_name = nullptr;
    decltype(&g_mount_can_unmount) mount_can_unmount = nullptr;
    decltype(&g_mount_unmount_with_operation) mount_unmount_with_operation = nullptr;
    decltype(&g_mount_unmount_with_operation_finish) mount_unmount_with_operation_finish = nullptr;
    decltype(&g_file_new_for_path) file_new_for_path = nullptr;
    decltype(&g_file_get_path) file_get_path = nullptr;
    decltype(&g_file_find_enclosing_mount) file_find_enclosing_mount = nullptr;
    decltype(&g_icon_to_string) icon_to_string = nullptr;
    decltype(&g_app_info_get_default_for_type) app_info_get_default_for_type = nullptr;
    decltype(&g_app_info_get_all_for_type) app_info_get_all_for_type = nullptr;
    decltype(&g_app_info_get_id) app_info_get_id = nullptr;
    decltype(&g_app_info_get_display_name) app_info_get_display_name = nullptr;
    decltype(&g_app_info_get_icon) app_info_get_icon = nullptr;
    decltype(&g_app_info_should_show) app_info_should_show = nullptr;
    decltype(&g_app_info_launch_uris) app_info_launch_uris = nullptr;
    decltype(&g_app_info_launch_default_for_uri) app_info_launch_default_for_uri = nullptr;
    decltype(&g_desktop_app_info_new) desktop_app_info_new = nullptr;
    bool loaded = false;
    std::string error; // why GIO could not be loaded
};

// GIO's functions, loaded at the first call (from any thread). Without GIO the
// reason is logged once and `loaded` is false: no mounted volumes are listed and
// no applications offered, never a crash.
const GioFunctions& Gio();

#include "GioLibrary.h"

#include "Modules.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGio, "orvex.desktop")

namespace {

constexpr char kGioLibrary[] = "libgio-2.0.so.0";

} // namespace

const GioFunctions& Gio()
{
    static const GioFunctions functions = [] {
        GioFunctions f;
        // GLib's and GObject's functions are found through GIO, which needs both.
        f.loaded = LoadLibraryFunctions(kGioLibrary, f.error, [&f](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, g_, object_unref)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, free)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, list_append)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, list_free)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, list_free_full)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, error_free)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, signal_connect_data)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, signal_handlers_disconnect_matched)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, volume_monitor_get)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, volume_monitor_get_mounts)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_is_shadowed)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_get_root)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_get_name)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_can_unmount)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_unmount_with_operation)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, mount_unmount_with_operation_finish)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, file_new_for_path)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, file_get_path)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, file_find_enclosing_mount)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, icon_to_string)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_get_default_for_type)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_get_all_for_type)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_get_id)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_get_display_name)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_get_icon)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_should_show)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_launch_uris)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, app_info_launch_default_for_uri)
                && ORVEX_LIBRARY_FUNCTION(f, library, g_, desktop_app_info_new);
        });
        if (!f.loaded)
            qCWarning(lcGio) << "GIO could not be loaded:" << f.error.c_str()
                             << "- no mounted volumes are listed and no applications offered";
        return f;
    }();
    return functions;
}

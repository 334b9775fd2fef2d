#include "OpenJpegLibrary.h"

#include "Modules.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcOpenJpeg, "orvex.errors.jpeg2000")

} // namespace

const OpenJpegFunctions* OpenJpeg()
{
    static const OpenJpegFunctions* const functions = []() -> const OpenJpegFunctions* {
        static OpenJpegFunctions f;
        std::string error;
        const bool loaded = LoadLibraryFunctions("libopenjp2.so.7", error, [](void* library) {
            return ORVEX_LIBRARY_FUNCTION(f, library, opj_, create_compress)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, create_decompress)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, decode)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, destroy_codec)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, encode)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, end_compress)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, end_decompress)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, image_create)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, image_destroy)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, read_header)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_decoded_resolution_factor)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_default_decoder_parameters)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_default_encoder_parameters)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_error_handler)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_info_handler)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, set_warning_handler)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, setup_decoder)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, setup_encoder)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, start_compress)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_create)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_destroy)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_read_function)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_seek_function)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_skip_function)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_user_data)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_user_data_length)
                && ORVEX_LIBRARY_FUNCTION(f, library, opj_, stream_set_write_function);
        });
        if (!loaded) {
            qCWarning(lcOpenJpeg) << "JPEG 2000 pictures cannot be read or written:" << error.c_str();
            return nullptr;
        }
        return &f;
    }();
    return functions;
}

#pragma once

#include <openjpeg.h>

// OpenJPEG, loaded at the first JPEG 2000 picture read or written rather than at
// start. Each member is the library's function of that name after "opj_".
struct OpenJpegFunctions {
    decltype(&opj_create_compress) create_compress = nullptr;
    decltype(&opj_create_decompress) create_decompress = nullptr;
    decltype(&opj_decode) decode = nullptr;
    decltype(&opj_destroy_codec) destroy_codec = nullptr;
    decltype(&opj_encode) encode = nullptr;
    decltype(&opj_end_compress) end_compress = nullptr;
    decltype(&opj_end_decompress) end_decompress = nullptr;
    decltype(&opj_image_create) image_create = nullptr;
    decltype(&opj_image_destroy) image_destroy = nullptr;
    decltype(&opj_read_header) read_header = nullptr;
    decltype(&opj_set_decoded_resolution_factor) set_decoded_resolution_factor = nullptr;
    decltype(&opj_set_default_decoder_parameters) set_default_decoder_parameters = nullptr;
    decltype(&opj_set_default_encoder_parameters) set_default_encoder_parameters = nullptr;
    decltype(&opj_set_error_handler) set_error_handler = nullptr;
    decltype(&opj_set_info_handler) set_info_handler = nullptr;
    decltype(&opj_set_warning_handler) set_warning_handler = nullptr;
    decltype(&opj_setup_decoder) setup_decoder = nullptr;
    decltype(&opj_setup_encoder) setup_encoder = nullptr;
    decltype(&opj_start_compress) start_compress = nullptr;
    decltype(&opj_stream_create) stream_create = nullptr;
    decltype(&opj_stream_destroy) stream_destroy = nullptr;
    decltype(&opj_stream_set_read_function) stream_set_read_function = nullptr;
    decltype(&opj_stream_set_seek_function) stream_set_seek_function = nullptr;
    decltype(&opj_stream_set_skip_function) stream_set_skip_function = nullptr;
    decltype(&opj_stream_set_user_data) stream_set_user_data = nullptr;
    decltype(&opj_stream_set_user_data_length) stream_set_user_data_length = nullptr;
    decltype(&opj_stream_set_write_function) stream_set_write_function = nullptr;
};

// The functions, or nullptr when the library cannot be loaded (the reason is
// logged once).
const OpenJpegFunctions* OpenJpeg();

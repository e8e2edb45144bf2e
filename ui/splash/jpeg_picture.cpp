#include "ui/splash/jpeg_picture.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <new>

// jpeglib.h wants FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace quorvel::ui::splash {

namespace {

// The library reports a fatal error through error_exit, which must not
// return: it jumps back to the setjmp in DecodeInto. Nothing between the two
// may be a C++ object that needs destroying, and no C++ exception may pass
// through the library's frames: hence the plain function and the row store
// that answers failure with null.
struct ErrorJump {
  jpeg_error_mgr manager;  // first: all the library sees
  std::jmp_buf jump;
};

[[noreturn]] void JumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

// Warnings and trace messages are not shown.
void IgnoreMessage(j_common_ptr /*info*/, int /*msg_level*/) {}

// Storage for width x height pixels of 3 bytes; null when there is none.
using RowStore = unsigned char* (*)(void* context, JDIMENSION width, JDIMENSION height);

// 0 when decoded, else the library's message code.
int DecodeInto(const unsigned char* data, unsigned long size, RowStore store, void* context) {
  jpeg_decompress_struct info;
  ErrorJump errors;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JumpOut;
  errors.manager.emit_message = IgnoreMessage;
  if (setjmp(errors.jump) != 0) {
    const int code = errors.manager.msg_code;
    jpeg_destroy_decompress(&info);
    return code;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  info.scale_num = 1;
  info.scale_denom = 1;
  info.buffered_image = FALSE;
  info.dct_method = JDCT_ISLOW;
  info.do_fancy_upsampling = TRUE;
  jpeg_start_decompress(&info);
  unsigned char* const rows = store(context, info.output_width, info.output_height);
  if (rows == nullptr) {
    jpeg_destroy_decompress(&info);
    return JERR_OUT_OF_MEMORY;
  }
  const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rows + info.output_scanline * stride;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return 0;
}

unsigned char* StorePixels(void* context, JDIMENSION width, JDIMENSION height) {
  auto* pixels = static_cast<JpegPixels*>(context);
  try {
    pixels->bgr.resize(static_cast<std::size_t>(width) * height * 3);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  pixels->width = static_cast<int>(width);
  pixels->height = static_cast<int>(height);
  return pixels->bgr.data();
}

std::string ErrorText(int code) {
  return "JPEG error #" + std::to_string(code);
}

}  // namespace

JpegDecoding DecodeJpeg(std::string_view file) {
  JpegDecoding result;
  if (file.size() > static_cast<unsigned long>(-1)) {
    result.error = ErrorText(JERR_INPUT_EOF);  // beyond what the library can address
    return result;
  }
  const int code = DecodeInto(reinterpret_cast<const unsigned char*>(file.data()),
                              static_cast<unsigned long>(file.size()), StorePixels, &result.pixels);
  if (code != 0) {
    result.pixels = {};
    result.error = ErrorText(code);
  }
  return result;
}

}  // namespace quorvel::ui::splash

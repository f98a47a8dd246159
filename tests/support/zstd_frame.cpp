#include <zstd.h>

#include <memory>
#include <stdexcept>

#include "test_support.h"

namespace brisko::test {

std::string ZstdFrame(std::string_view content, const FrameOptions& options) {
  const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, options.level);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, options.contentSize ? 1 : 0);
  ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, options.checksum ? 1 : 0);
  if (options.windowLog != 0) ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, options.windowLog);
  std::string frame(ZSTD_compressBound(content.size()), '\0');
  const std::size_t size = ZSTD_compress2(context.get(), frame.data(), frame.size(), content.data(), content.size());
  if (ZSTD_isError(size)) throw std::runtime_error(ZSTD_getErrorName(size));
  frame.resize(size);
  return frame;
}

}  // namespace brisko::test

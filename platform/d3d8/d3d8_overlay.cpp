// The host's readout over the presented frame. The host hands an opaque RGBA
// image; it is uploaded into a texture of its own and copied into the back
// buffer with a framebuffer blit, which needs no program, blending or vertex
// state, so the system's state is left as it was. A frame without a readout
// costs nothing here and its pixels are exactly the system's.
#include <algorithm>

#include "platform/d3d8/d3d8_internal.h"
#include "platform/host/host.h"

namespace qv::d3d8 {

void Device::DrawOverlay() {
  qv::host::OverlayImage image;
  if (!qv::host::FrameOverlay(image) || !image.rgba || !ContextUsable()) return;
  const int bw = static_cast<int>(m_params.BackBufferWidth);
  const int bh = static_cast<int>(m_params.BackBufferHeight);
  // Only what lies inside the picture is drawn.
  const int x = std::clamp(image.x, 0, bw), y = std::clamp(image.y, 0, bh);
  const int w = std::min(image.width, bw - x), h = std::min(image.height, bh - y);
  if (w <= 0 || h <= 0) return;
  if (!m_overlayTexture) {
    glGenTextures(1, &m_overlayTexture);
    m_gl.BindTexture(kUploadUnit, m_overlayTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, bw, bh, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &m_overlayFbo);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_overlayFbo);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_overlayTexture, 0);
  }
  m_gl.BindTexture(kUploadUnit, m_overlayTexture);
  // Rows of the image wider than the part drawn are skipped with the row length.
  glPixelStorei(GL_UNPACK_ROW_LENGTH, image.width);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  // The image's first row went to the texture's row 0, and the back buffer's
  // row 0 is the top of the picture: no flip.
  glBindFramebuffer(GL_READ_FRAMEBUFFER, m_overlayFbo);
  m_gl.BindDrawFramebuffer(m_fbo[m_current]);
  m_gl.SetScissor(false, 0, 0, 0, 0);
  m_gl.SetColorMask(0xF);
  glBlitFramebuffer(0, 0, w, h, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  MarkDirty(kDirtyRaster);
}

void Device::ReleaseOverlay() {
  if (m_overlayFbo) glDeleteFramebuffers(1, &m_overlayFbo);
  if (m_overlayTexture) {
    m_gl.ForgetTexture(m_overlayTexture);
    glDeleteTextures(1, &m_overlayTexture);
  }
  m_overlayFbo = m_overlayTexture = 0;
}

}  // namespace qv::d3d8

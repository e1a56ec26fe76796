#include "canvas/view.h"

#include <opencv2/core/utility.hpp>

namespace scribeline {
namespace {

// The blend of one channel depends only on the photo byte and the mask byte,
// so all 65536 results are computed once per opacity with the exact double
// expression and the library's rounding, and the per-pixel work is a lookup.
void prepareBlendTable(double opacity, ViewScratch& scratch) {
  if (scratch.tableOpacity == opacity) return;
  for (int photo = 0; photo < 256; ++photo)
    for (int mask = 0; mask < 256; ++mask)
      scratch.blendTable[photo * 256 + mask] =
          cv::saturate_cast<uchar>((1.0 - opacity) * photo + opacity * mask);
  scratch.tableOpacity = opacity;
}

}  // namespace

void blendMask(const cv::Mat& photo, const cv::Mat& mask, double opacity,
               ViewScratch& scratch, cv::Mat& out) {
  CV_Assert(photo.type() == CV_8UC3 && mask.type() == CV_8UC3 &&
            photo.size() == mask.size());
  prepareBlendTable(opacity, scratch);
  out.create(photo.size(), CV_8UC3);
  const unsigned char* table = scratch.blendTable.data();
  const int rowBytes = photo.cols * 3;
  cv::parallel_for_(cv::Range(0, photo.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const uchar* p = photo.ptr<uchar>(y);
      const uchar* m = mask.ptr<uchar>(y);
      uchar* o = out.ptr<uchar>(y);
      for (int i = 0; i < rowBytes; ++i) o[i] = table[(p[i] << 8) | m[i]];
    }
  });
}

void composeView(Workspace& workspace) {
  workspace.viewImage.release();
  if (workspace.image.empty()) return;
  // The picture is built in storage kept between redraws; the window system
  // copies what it shows, so reusing it after showView is safe.
  cv::Mat& picture = workspace.viewScratch.picture;
  const bool blend = workspace.maskOverlay && !workspace.mask.empty() &&
                     workspace.mask.size() == workspace.image.size() &&
                     workspace.mask.type() == workspace.image.type();
  if (blend) {
    // Every pixel is blended, so the copy of the photograph is folded into
    // the blend.
    blendMask(workspace.image, workspace.mask, workspace.maskOpacity,
              workspace.viewScratch, picture);
  } else {
    workspace.image.copyTo(picture);
  }
  workspace.viewImage = picture;
  if (Tool* tool = workspace.tools[workspace.currentTool].get())
    tool->drawOverlay(workspace);
}

void showView(Workspace& workspace) {
  if (workspace.viewImage.empty()) return;
  workspace.windows.showImage(kMainWindow, workspace.viewImage);
  workspace.viewImage.release();
}

void recomposeAndShow(Workspace& workspace) {
  composeView(workspace);
  showView(workspace);
}

void Tool::onBackspace(Workspace& workspace) { recomposeAndShow(workspace); }

}  // namespace scribeline

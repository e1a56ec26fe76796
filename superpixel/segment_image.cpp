#include "superpixel/segment_image.h"

#include <utility>

#include "superpixel/edge_graph.h"
#include "superpixel/float_image.h"
#include "superpixel/segment_graph.h"
#include "superpixel/smoothing.h"
#include "superpixel/sorted_edges.h"

namespace scribeline {

namespace {

struct ColourPlanes {
    FloatImage r;
    FloatImage g;
    FloatImage b;
};

// An 8-bit image with 1, 3 or 4 channels as it is; anything else converted
// to 8-bit (saturating) with its channel count kept.
cv::Mat asEightBit(const cv::Mat& image) {
    if (image.depth() == CV_8U) {
        return image;
    }
    cv::Mat converted;
    image.convertTo(converted, CV_8U);
    return converted;
}

// Red, green and blue planes of a blue-green-red image. A one-channel image
// gives three equal planes; two channels are read as blue and green with red
// taken from blue; channels after the third are ignored.
ColourPlanes colourPlanes(const cv::Mat& image) {
    const cv::Mat pixels = asEightBit(image);
    const int width = pixels.cols;
    const int height = pixels.rows;
    const int channels = pixels.channels();
    const int blue = 0;
    const int green = channels > 1 ? 1 : 0;
    const int red = channels > 2 ? 2 : 0;
    ColourPlanes planes{FloatImage(width, height, FloatImage::Fill::zeros),
                        FloatImage(width, height, FloatImage::Fill::zeros),
                        FloatImage(width, height, FloatImage::Fill::zeros)};
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = pixels.ptr<unsigned char>(y);
        float* r = planes.r.row(y);
        float* g = planes.g.row(y);
        float* b = planes.b.row(y);
        for (int x = 0; x < width; ++x, in += channels) {
            r[x] = in[red];
            g[x] = in[green];
            b[x] = in[blue];
        }
    }
    return planes;
}

EdgeList sortedSmoothedEdges(const cv::Mat& image, float sigma) {
    FloatImage r;
    FloatImage g;
    FloatImage b;
    {
        const ColourPlanes raw = colourPlanes(image);
        r = smoothChannel(raw.r, sigma);
        g = smoothChannel(raw.g, sigma);
        b = smoothChannel(raw.b, sigma);
    }
    return buildSortedEdges(std::move(r), std::move(g), std::move(b));
}

}  // namespace

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k, int minSize) {
    if (image.empty()) {
        return 0;
    }
    const int numPixels = image.cols * image.rows;
    DisjointSet components(0);
    {
        // The list comes sorted exactly as segmentGraph would sort it.
        const EdgeList edges = sortedSmoothedEdges(image, sigma);
        components = segmentSortedGraph(numPixels, edges.count, edges.edges.get(), k);
        mergeSmallComponents(components, edges.edges.get(), edges.count, minSize);
    }
    const int numSuperpixels = components.numSets();
    numberComponents(components, numPixels, superpixelMap);
    return numSuperpixels;
}

}  // namespace scribeline

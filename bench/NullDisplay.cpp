// Display functions that do nothing, linked in place of the real display so that the colour
// handler's benchmark measures the handler's own work: buffer, conversion, image and copy.
#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

CV_IMPL int cvNamedWindow(const char*, int) { return 1; }
CV_IMPL void cvShowImage(const char*, const CvArr*) {}

namespace cv {
void imshow(const String&, InputArray) {}
int waitKey(int) { return -1; }
double getWindowProperty(const String&, int) { return 1; }  // open, never closed
}  // namespace cv

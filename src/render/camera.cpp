#include "render/camera.h"

#include <cmath>

#include "math/random.h"
#include "render/render_settings.h"
#include "shading/trace.h"

ViewPoint myViewPoint{};

namespace {

// The camera frame, derived from myViewPoint by cameraSetup and only read afterwards.
Vector viewvec{};
Vector leftvec{};     // image x grows along it
Vector looking_up{};  // image y grows against it
double frustrumwidth = 0.0;
double frustrumheight = 0.0;
bool cameraReady = false;

}  // namespace

void resetCamera() {
    myViewPoint = {};
    viewvec = leftvec = looking_up = {};
    frustrumwidth = frustrumheight = 0.0;
    cameraReady = false;
}

void cameraSetup() {
    ViewPoint& view = myViewPoint;
    VecNorm(&view.up);
    viewvec = view.lookAt - view.position;
    VecNorm(&viewvec);
    leftvec = cross(viewvec, view.up);
    VecNorm(&leftvec);
    view.up = cross(leftvec, viewvec);
    VecNorm(&view.up);
    looking_up = view.up;
    if (view.aperture > 0) {
        view.apertureU = leftvec * view.aperture;
        Vector v = cross(viewvec, leftvec);
        VecNorm(&v);
        view.apertureV = v * view.aperture;
    }
    view.fovVertical = view.fov / view.ratio;
    frustrumwidth = std::tan(view.fov);
    frustrumheight = std::tan(view.fovVertical);
    cameraReady = true;
}

void screenInit(Ray* ray) {
    if (!cameraReady) cameraSetup();
    ray->origin = myViewPoint.position;
    ray->direction = viewvec;
}

void initRay(double x, double y, Ray* ray) {
    const double W = myDisplay.width;
    const double H = myDisplay.height;
    Vector direction;
    if (myViewPoint.projection == 1) {
        const double theta = 2.0 * myViewPoint.fov * (x - W / 2.0) / W;
        const double phi = 2.0 * myViewPoint.fovVertical * (H / 2.0 - y) / H;
        direction = looking_up * std::sin(phi) + leftvec * std::sin(theta) +
                    viewvec * std::cos(theta) * std::cos(phi);
    } else {
        const double u = 2.0 * x / W - 1.0;
        const double v = 2.0 * y / H - 1.0;
        direction = viewvec + leftvec * (frustrumwidth * u) + looking_up * (-frustrumheight * v);
    }
    VecNorm(&direction);
    ray->direction = direction;
}

namespace {

// One lens coordinate in [-1, 1]: a magnitude, then a draw for its sign.
double lensCoordinate() {
    double a = randomUnit();
    if (randomUnit() > 0.5) a = -a;
    return a;
}

}  // namespace

void shoot(Ray* ray, Color* color, int* level) {
    const ViewPoint& view = myViewPoint;
    if (view.aperture <= 0 || view.samples < 1) {
        trace(ray, color, level);
        return;
    }
    Color sum{0.0, 0.0, 0.0};
    for (int i = 0; i < view.samples; ++i) {
        const Vector focus = ray->origin + ray->direction * view.focalLength;
        const double a = lensCoordinate();
        const double b = lensCoordinate();
        Ray lensRay;
        lensRay.origin = ray->origin + view.apertureU * a + view.apertureV * b;
        lensRay.direction = focus - lensRay.origin;
        VecNorm(&lensRay.direction);
        trace(&lensRay, color, level);
        sum += *color;
    }
    *color = sum / static_cast<double>(view.samples);
}

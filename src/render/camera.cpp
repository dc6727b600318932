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

ColumnTerms columnTerms(double x) {
    const double W = myDisplay.width;
    if (myViewPoint.projection == 1) {
        const double theta = 2.0 * myViewPoint.fov * (x - W / 2.0) / W;
        return {leftvec * std::sin(theta), viewvec * std::cos(theta)};
    }
    const double u = 2.0 * x / W - 1.0;
    return {viewvec + leftvec * (frustrumwidth * u), {}};
}

RowTerms rowTerms(double y) {
    const double H = myDisplay.height;
    if (myViewPoint.projection == 1) {
        const double phi = 2.0 * myViewPoint.fovVertical * (H / 2.0 - y) / H;
        return {looking_up * std::sin(phi), std::cos(phi)};
    }
    const double v = 2.0 * y / H - 1.0;
    return {looking_up * (-frustrumheight * v), 0.0};
}

void initRayFrom(const ColumnTerms& column, const RowTerms& row, Ray* ray) {
    // Flat: viewvec + leftvec (width u) + looking_up (-height v); fisheye: looking_up sin(phi) +
    // leftvec sin(theta) + viewvec cos(theta) cos(phi); each summed left to right.
    Vector direction = myViewPoint.projection == 1 ? row.first + column.first + column.second * row.factor
                                                   : column.first + row.first;
    VecNorm(&direction);
    ray->direction = direction;
}

void initRay(double x, double y, Ray* ray) { initRayFrom(columnTerms(x), rowTerms(y), ray); }

namespace {

// One lens coordinate in [-1, 1]: a magnitude, then a draw for its sign.
double lensCoordinate() {
    double a = randomUnit();
    if (randomUnit() > 0.5) a = -a;
    return a;
}

}  // namespace

bool lensOpen() { return myViewPoint.aperture > 0 && myViewPoint.samples >= 1; }

void shoot(Ray* ray, Color* color, int* level) {
    const ViewPoint& view = myViewPoint;
    if (!lensOpen()) {
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

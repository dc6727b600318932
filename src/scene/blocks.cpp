// The camera, settings, light and surface blocks.
#include "scene/blocks.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "base/console.h"
#include "image/image.h"
#include "render/camera.h"
#include "render/render_settings.h"
#include "scene/lexer.h"
#include "scene/parse_state.h"
#include "scene/parser.h"
#include "shading/light.h"
#include "shading/shade.h"

namespace {

constexpr double pi = 3.141592653589793;

// A full angle in degrees as the half angle in radians, the way the blocks store angles.
double halfAngle(double degrees) { return degrees * 0.5 * pi / 180.0; }

// Reads a string and returns its position among the accepted words, or ends the parse.
int readChoice(FILE* file, std::initializer_list<const char*> words, const char* message) {
    Lire_Chaine(file);
    int index = 0;
    for (const char* word : words) {
        if (std::strcmp(strTemp, word) == 0) return index;
        ++index;
    }
    yyerror(message);
}

bool isFinite(Vector v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Where the values checked once the scene is read were set: the closing brace of the last camera
// block, and the display line of the image size (a settings block's own defaults are good sizes).
int cameraLine = 0;
int displayLine = 0;

// Why the camera frame cannot come out defined, or nullptr: the eye must be away from the point
// looked at, and the up vector neither null nor along the view.
const char* cameraFault() {
    if (myViewPoint.position.x == myViewPoint.lookAt.x && myViewPoint.position.y == myViewPoint.lookAt.y &&
        myViewPoint.position.z == myViewPoint.lookAt.z) {
        return " camera position and look_at cannot be the same point";
    }
    Vector up = myViewPoint.up;
    Vector view = myViewPoint.lookAt - myViewPoint.position;
    VecNorm(&up);
    VecNorm(&view);
    Vector left = cross(view, up);
    VecNorm(&left);
    if (!isFinite(up) || !isFinite(view) || !isFinite(left) || isZero(left)) {
        return " camera up vector cannot be null or parallel to the viewing direction";
    }
    return nullptr;
}

// A side of the scene's image size that will be rendered and is not positive (a side the command
// line sets is the command line's).
bool badSceneSize() {
    return (myDisplay.width <= 0 && !widthOnCommandLine) || (myDisplay.height <= 0 && !heightOnCommandLine);
}

}  // namespace

void yy_camera(FILE* file) {
    ViewPoint& camera = myViewPoint;
    camera.up = {0.0, 0.0, 1.0};
    camera.fov = halfAngle(45.0);
    camera.ratio = 4.0 / 3.0;
    camera.aperture = 0.0;
    camera.focalLength = 10.0;
    camera.samples = 16;
    camera.projection = 0;
    Vector focalPoint{0.0, 0.0, 0.0};
    short positions = 0;
    short lookAts = 0;
    short focalLengths = 0;
    short focalPoints = 0;

    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwPosition:
                Lire_Vecteur(file);
                camera.position = vect_tmp;
                ++positions;
                break;
            case kwLookAt:
                Lire_Vecteur(file);
                camera.lookAt = vect_tmp;
                ++lookAts;
                break;
            case kwUp:
                Lire_Vecteur(file);
                camera.up = vect_tmp;
                break;
            case kwFov:
                Lire_Decimal(file);
                camera.fov = halfAngle(val_DBL);
                break;
            case kwRatio:
                Lire_Decimal(file);
                camera.ratio = val_DBL;
                break;
            case kwAperture:
                Lire_Decimal(file);
                camera.aperture = val_DBL;
                break;
            case kwFocalLength:
                Lire_Decimal(file);
                camera.focalLength = val_DBL;
                ++focalLengths;
                break;
            case kwSamples:
            case kwCameraSamples:
                Lire_Entier(file);
                if (val_INT <= 0) yyerror(" camera samples must be greater than 0");
                camera.samples = val_INT;
                break;
            case kwProjectionType:
                camera.projection =
                    readChoice(file, {"flat", "fisheye"}, " invalid camera projection type specified");
                break;
            case kwFocalPoint:
                Lire_Vecteur(file);
                focalPoint = vect_tmp;
                ++focalPoints;
                break;
            default: yyerror(" Unkown parameter in camera structure");
        }
    }

    if (positions != 1 || lookAts != 1) yyerror(" error in camera structure declaration");
    if (focalLengths != 0 && focalPoints != 0) yyerror(" focal lenght OR focal point must be defined");
    if (focalPoints != 0) camera.focalLength = length(camera.position - focalPoint);
    cameraLine = comptligne;
}

void yy_settings(FILE* file) {
    short outputTypes = 0;
    short outputNames = 0;
    expectOpeningBrace(file);
    myDisplay.width = 320;
    myDisplay.height = 240;
    iAntialias = 0;
    adapt_dist = 64;
    jitter = 0;
    myBackGroundColor = {0.0, 0.0, 0.0};
    myHaze.factor = 0.0;
    myHaze.color = {0.0, 0.0, 0.0};

    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwBackground:
                Lire_RVB(file);
                myBackGroundColor = rvb_tmp;
                break;
            case kwDisplay:
                Lire_Entier(file);
                myDisplay.width = val_INT;
                Lire_Entier(file);
                myDisplay.height = val_INT;
                displayLine = comptligne;
                break;
            case kwOutputType:
                iImageType = readChoice(file, {"tga", "bmp", "ppm", "png", "jpeg"},
                                        " invalid output file type specified");
                ++outputTypes;
                break;
            case kwOutputName:
                Lire_Chaine(file);
                std::strcpy(myDisplay.outputName, strTemp);
                ++outputNames;
                break;
            case kwJitter:
                jitter = readChoice(file, {"no", "yes"}, " jitter must be either 'yes' or 'no'");
                break;
            case kwAntialiasing:
                iAntialias =
                    readChoice(file, {"none", "quick", "adaptive"}, " invalid anti-aliasing type specified");
                break;
            case kwAaDistance:
                Lire_Entier(file);
                adapt_dist = val_INT;
                break;
            case kwHazeColor:
                Lire_RVB(file);
                myHaze.color = rvb_tmp;
                break;
            case kwHazeFactor:
                Lire_Decimal(file);
                myHaze.factor = val_DBL;
                break;
            case kwJpegQuality:
                Lire_Entier(file);
                jpeg_quality = val_INT <= 0 ? 90 : (val_INT > 100 ? 100 : val_INT);
                break;
            default: yyerror(" Unkown parameter in settings structure");
        }
    }

    if (outputTypes != 1 || outputNames != 1) yyerror(" error in settings structure declaration");
}

void checkRenderedValues(bool camera, bool settings) {
    const char* cameraMessage = camera ? cameraFault() : nullptr;
    if (settings && badSceneSize() && (!cameraMessage || displayLine < cameraLine)) {
        yyerrorAt(displayLine, " image width and height must be greater than 0");
    }
    if (cameraMessage) yyerrorAt(cameraLine, cameraMessage);
}

void yy_light(FILE* file) {
    Vector position{0.0, 0.0, 0.0};
    Color color{1.0, 1.0, 1.0};
    int lightType = 0;
    int attenuationType = 2;
    int shadowType = 0;
    double radius = 0.0;  // what a sharp light without radius and samples passes on
    int samples = 0;
    double cosMinAngle = std::cos(halfAngle(10.0));
    double cosMaxAngle = std::cos(halfAngle(30.0));
    Vector target{0.0, 0.0, 0.0};
    bool hasTarget = false;
    short positions = 0;
    short colors = 0;
    short radii = 0;
    short sampleCounts = 0;

    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwPosition:
                Lire_Vecteur(file);
                position = vect_tmp;
                ++positions;
                break;
            case kwColor:
                Lire_RVB(file);
                if (!(rvb_tmp.red > 0.0 && rvb_tmp.green > 0.0 && rvb_tmp.blue > 0.0)) {
                    yyerror(" invalid color component(s)");
                }
                color = rvb_tmp;
                ++colors;
                break;
            case kwLightType:
                lightType = readChoice(file, {"point", "spot"}, " invalid light type specified");
                break;
            case kwAttenuationType:
                attenuationType =
                    readChoice(file, {"none", "d", "d2"}, " invalid light attenuation type specified");
                break;
            case kwShadowType:
                shadowType = readChoice(file, {"sharp", "smooth"}, " invalid shadow type specified");
                break;
            case kwRadius:
                Lire_Decimal(file);
                if (val_DBL <= 0.0) yyerror(" smooth light radius must be greater than 0");
                radius = val_DBL;
                ++radii;
                break;
            case kwSamples:
            case kwLightSamples:
                Lire_Entier(file);
                if (val_INT <= 0) yyerror(" smooth light samples must be greater than 0");
                samples = val_INT;
                ++sampleCounts;
                break;
            case kwTarget:
                Lire_Vecteur(file);
                target = vect_tmp;
                hasTarget = true;
                break;
            case kwMinAngle:
                Lire_Decimal(file);
                cosMinAngle = std::cos(halfAngle(val_DBL));
                break;
            case kwMaxAngle:
                Lire_Decimal(file);
                cosMaxAngle = std::cos(halfAngle(val_DBL));
                break;
            default: yyerror(" Unkown parameter in light structure");
        }
    }

    // Without a target the light is undirected; only a spot light needs one.
    const Vector direction = hasTarget ? target - position : Vector{0.0, 0.0, 0.0};
    if (hasTarget && dot(direction, direction) == 0.0) yyerror(" Error in light structure - invalid target");
    if (positions != 1 || colors != 1) yyerror(" Error in light structure - missing parameters");
    if (shadowType == 1 && (sampleCounts != 1 || radii != 1)) {
        yyerror(" Error in light structure - missing parameters");
    }
    if (lightType == 1 && !hasTarget) yyerror(" Error in light structure - missing parameters");

    makeLight(position, color, lightType, attenuationType, shadowType, radius, samples, cosMinAngle,
              cosMaxAngle, direction);
    ++iNumLight;
}

void yy_surface(FILE* file) {
    Surface values = surfaceDefaults;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwReflection:
                Lire_Decimal(file);
                values.reflection = val_DBL;
                break;
            case kwRefraction:
                Lire_Decimal(file);
                values.refraction = val_DBL;
                break;
            case kwRefractionIndex:
                Lire_Decimal(file);
                values.refractionIndex = val_DBL;
                if (val_DBL < 1.0) {
                    consolePrint(" indice of refraction cannot be lower than 1.0");
                    values.refractionIndex = 1.0;
                }
                break;
            case kwColor:
                Lire_RVB(file);
                if (!(rvb_tmp.red >= 0.0 && rvb_tmp.red <= 1.0 && rvb_tmp.green >= 0.0 &&
                      rvb_tmp.green <= 1.0 && rvb_tmp.blue >= 0.0 && rvb_tmp.blue <= 1.0)) {
                    yyerror(" invalid color component(s)");
                }
                values.color = rvb_tmp;
                break;
            case kwAmbient:
                Lire_Decimal(file);
                values.ambient = val_DBL;
                break;
            case kwBrilliance:
                Lire_Decimal(file);
                values.brilliance = val_DBL;
                break;
            case kwRoughness:
                Lire_Decimal(file);
                values.roughness = val_DBL;
                break;
            case kwDiffuse:
                Lire_Decimal(file);
                values.diffuse = val_DBL;
                break;
            case kwSpecular:
                Lire_Decimal(file);
                values.specular = val_DBL;
                break;
            case kwReflectionType:
                values.reflectionType =
                    readChoice(file, {"sharp", "fuzzy"}, " invalid reflection type specified");
                break;
            case kwReflectionSamples:
                Lire_Entier(file);
                values.reflectionSamples = val_INT;
                break;
            case kwReflectionRadius:
                Lire_Decimal(file);
                values.reflectionRadius = val_DBL;
                break;
            default: yyerror(" Unkown parameter in surface structure");
        }
    }
    *surface = values;
    ++iNumSurface;
}

// The scene language's lexer: one token at a time from the open scene file, with white space and
// the two kinds of comment skipped, lines counted for messages and numbers converted as they are
// read. On top of it sit the typed readers the block parsers use (a string in quotes, a decimal,
// an integer, a vector, a colour) and yyerror, the one exit for every scene error. Results travel
// through the globals below.
#pragma once

#include <cstdio>

#include "math/vector.h"

// Token codes besides the keywords.
inline constexpr int tokEnd = -1;  // end of the file (and every read after it)
inline constexpr int tokWord = 0;  // a word that is no keyword
inline constexpr int tokNumber = 1;
inline constexpr int tokOpenBrace = 10;
inline constexpr int tokCloseBrace = 11;
inline constexpr int tokOpenAngle = 12;
inline constexpr int tokCloseAngle = 13;
inline constexpr int tokHash = 14;  // introduces the name of a declared colour
inline constexpr int tokQuote = 15;

// Keyword codes, grouped by the block that uses them. Synonyms share a code.
enum KeywordCode : int {
    kwInclude = 4,
    kwDeclare = 5,
    kwCamera = 100,
    kwPosition = 101,
    kwLookAt = 102,
    kwUp = 103,
    kwFov = 104,
    kwRatio = 105,
    kwAperture = 106,
    kwFocalLength = 107,
    kwSamples = 108,
    kwLight = 109,
    kwProjectionType = 110,
    kwAttenuationType = 111,
    kwShadowType = 112,
    kwLightSamples = 113,
    kwCameraSamples = 114,
    kwCameraIndex = 115,
    kwLightType = 116,
    kwMinAngle = 117,
    kwMaxAngle = 118,
    kwDirection = 119,
    kwTarget = 120,
    kwFocalPoint = 121,
    kwSettings = 200,
    kwBackground = 201,
    kwDisplay = 202,  // also `resolution`
    kwOutputType = 203,
    kwOutputName = 204,
    kwJitter = 205,        // also `aa_jitter`
    kwAntialiasing = 206,  // also `aa_type`
    kwAaDistance = 207,
    kwHazeColor = 208,
    kwHazeFactor = 209,
    kwJpegQuality = 210,
    kwInputName = 211,
    kwGlobalIllumination = 212,
    kwDistribution = 213,
    kwBrightness = 214,
    kwHammersley = 215,
    kwHalton = 216,
    kwSurface = 300,
    kwReflection = 301,
    kwRefraction = 302,
    kwRefractionIndex = 303,
    kwColor = 304,
    kwAmbient = 305,
    kwBrilliance = 306,
    kwRoughness = 307,
    kwDiffuse = 308,
    kwSpecular = 309,
    kwReflectionType = 310,
    kwReflectionSamples = 311,
    kwReflectionRadius = 312,
    kwPlane = 400,
    kwNormal = 401,
    kwDistance = 402,
    kwSphere = 500,
    kwCenter = 501,
    kwRadius = 502,
    kwCone = 600,
    kwBase = 601,
    kwCap = 602,
    kwBaseRadius = 603,
    kwCapRadius = 604,
    kwRing = 700,
    kwInternalRadius = 701,
    kwExternalRadius = 702,
    kwDisc = 704,
    kwPolygon = 800,
    kwVertex = 801,
    kwCylinder = 900,
    kwTriangle = 901,
    kwPatch = 902,
    kwSmoothTriangle = 903,
    kwModify = 1000,
    kwMove = 1001,
    kwRotate = 1002,
    kwScale = 1003,
    kwMesh = 1100,
};

struct MotCle {
    const char* mot;
    int code;
};

// Every keyword of the language. Words match case-sensitively and in full.
inline constexpr MotCle liste_motcle[] = {
    {"include", kwInclude},
    {"declare", kwDeclare},
    {"camera", kwCamera},
    {"position", kwPosition},
    {"look_at", kwLookAt},
    {"up", kwUp},
    {"fov", kwFov},
    {"ratio", kwRatio},
    {"aperture", kwAperture},
    {"focal_length", kwFocalLength},
    {"samples", kwSamples},
    {"light", kwLight},
    {"projection_type", kwProjectionType},
    {"attenuation_type", kwAttenuationType},
    {"shadow_type", kwShadowType},
    {"light_samples", kwLightSamples},
    {"camera_samples", kwCameraSamples},
    {"camera_index", kwCameraIndex},
    {"light_type", kwLightType},
    {"min_angle", kwMinAngle},
    {"max_angle", kwMaxAngle},
    {"direction", kwDirection},
    {"target", kwTarget},
    {"focal_point", kwFocalPoint},
    {"settings", kwSettings},
    {"background", kwBackground},
    {"display", kwDisplay},
    {"resolution", kwDisplay},
    {"output_type", kwOutputType},
    {"output_name", kwOutputName},
    {"jitter", kwJitter},
    {"aa_jitter", kwJitter},
    {"antialiasing", kwAntialiasing},
    {"aa_type", kwAntialiasing},
    {"aa_distance", kwAaDistance},
    {"haze_color", kwHazeColor},
    {"haze_factor", kwHazeFactor},
    {"jpeg_quality", kwJpegQuality},
    {"input_name", kwInputName},
    {"global_illumination", kwGlobalIllumination},
    {"distribution", kwDistribution},
    {"brightness", kwBrightness},
    {"hammersley", kwHammersley},
    {"halton", kwHalton},
    {"surface", kwSurface},
    {"reflection", kwReflection},
    {"refraction", kwRefraction},
    {"refraction_index", kwRefractionIndex},
    {"color", kwColor},
    {"ambient", kwAmbient},
    {"brilliance", kwBrilliance},
    {"roughness", kwRoughness},
    {"diffuse", kwDiffuse},
    {"specular", kwSpecular},
    {"reflection_type", kwReflectionType},
    {"reflection_samples", kwReflectionSamples},
    {"reflection_radius", kwReflectionRadius},
    {"plane", kwPlane},
    {"normal", kwNormal},
    {"distance", kwDistance},
    {"sphere", kwSphere},
    {"center", kwCenter},
    {"radius", kwRadius},
    {"cone", kwCone},
    {"base", kwBase},
    {"cap", kwCap},
    {"base_radius", kwBaseRadius},
    {"cap_radius", kwCapRadius},
    {"ring", kwRing},
    {"internal_radius", kwInternalRadius},
    {"external_radius", kwExternalRadius},
    {"disc", kwDisc},
    {"polygon", kwPolygon},
    {"vertex", kwVertex},
    {"cylinder", kwCylinder},
    {"triangle", kwTriangle},
    {"patch", kwPatch},
    {"smooth_triangle", kwSmoothTriangle},
    {"modify", kwModify},
    {"move", kwMove},
    {"rotate", kwRotate},
    {"scale", kwScale},
    {"mesh", kwMesh},
};

// The longest word, number or string the lexer takes; one more character is a parse error.
inline constexpr int maxTokenLength = 255;

extern int comptligne;     // current line of the scene input; never reset between files
extern int mot_cle;        // code of the last token
extern char type_motcle;   // 2: numbers are decimals (val_DBL); anything else: integers (val_INT)
extern char chaine[256];   // text of the last word or number token; empty after punctuation
extern char strTemp[256];  // contents of the last string read by Lire_Chaine
extern double val_DBL;
extern int val_INT;
extern Vector vect_tmp;
extern Color rvb_tmp;

// Reads one token and returns its code (also stored in mot_cle).
int Lire_MotCle(FILE* file);
// The code of the keyword equal to chaine, or 0; also stored in mot_cle.
int Trouve_MotCle();

// The typed readers: each delivers its value in its global or ends the parse through yyerror.
void Lire_Chaine(FILE* file);   // "word" into strTemp
void Lire_Decimal(FILE* file);  // into val_DBL
void Lire_Entier(FILE* file);   // into val_INT
void Lire_Vecteur(FILE* file);  // <x y z> into vect_tmp
void Lire_RVB(FILE* file);      // r g b, or #name of a declared colour, into rvb_tmp
// The next token must be `{`, which every block begins with.
void expectOpeningBrace(FILE* file);

// Prints the line number and the message (none when empty) and ends the run with status -1.
[[noreturn]] void yyerror(const char* message);
// The same for a value read earlier: the line given is the one where the scene set it.
[[noreturn]] void yyerrorAt(int line, const char* message);
// What yyerrorAt prints, without ending the run.
void printParseError(int line, const char* message);
// Memory ran short while the scene was read: yyerror with " memory allocation failed", after the
// program's memoryShortHandler, when it has one, has had its say. Unlike a mistake in the scene,
// this is the process's own failure: another process reading the same scene need not meet it.
[[noreturn]] void memoryShort();
extern void (*memoryShortHandler)();

// Puts the lexer's globals back to their start-up values.
void resetLexer();

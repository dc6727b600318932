// One untrusted model file through the readers, the way the model fuzzer drives them: the first
// byte picks the format (0: the one the contents say, 1 OBJ, 2 PLY, 3 STL, 4 glTF, 5 GLB, and the
// same again from 6 on with two threads), the rest is the file. A model that reads goes on through
// the placing and the plan of its records, as the mesh block takes it. A glTF file's buffer files
// are never there. The regression tests run the same function over the inputs that once failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Empty when the run went as it should (a model, or an error with a message); otherwise what is
// wrong with the result (an index past the positions, a message without text...).
std::string runModelInput(const std::uint8_t* data, std::size_t size);

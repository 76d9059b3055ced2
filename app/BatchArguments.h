#pragma once

#include <string>
#include <vector>

#include "ConversionOptions.h"

// What the command line of sonvert-batch asks for.
struct BatchArguments {
    ConversionOptions Options;
    std::vector<std::string> Files;
    bool Help = false;
    std::string Error;  // not empty: a usage error, said in one line
};

// Reads the arguments (without the program name) over the given starting options: every option
// changes one field, the files keep their order.
BatchArguments ParseBatchArguments(const std::vector<std::string>& arguments,
                                   const ConversionOptions& start);

// The text --help prints, naming the program as given.
std::string BatchUsage(const std::string& program);

// mimlet-face make-sample OUT.mf [--variant N]: writes one of the sample faces.

#include "Command.h"
#include "FaceCheck.h"
#include "SampleFace.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

int usage(const char* problem) {
    std::fprintf(stderr,
                 "mimlet-face make-sample: %s\nusage: mimlet-face make-sample OUT.mf "
                 "[--variant N]  (N from 1 to %d, default 1)\n",
                 problem, kSampleVariantCount);
    return kExitUsage;
}

int runMakeSample(const std::vector<std::string>& args) {
    std::string outPath;
    int variant = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--variant") {
            if (i + 1 == args.size()) {
                return usage("--variant needs a number");
            }
            const std::string& value = args[++i];
            if (value.size() != 1 || value[0] < '1' || value[0] > '0' + kSampleVariantCount) {
                return usage(("no variant '" + value + "'").c_str());
            }
            variant = value[0] - '0';
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usage(("unknown option '" + args[i] + "'").c_str());
        } else if (outPath.empty()) {
            outPath = args[i];
        } else {
            return usage("more than one output file");
        }
    }
    if (outPath.empty()) {
        return usage("no output file");
    }

    const std::vector<uint8_t> bytes = MakeSampleFace(variant);
    const FaceCheckResult check = CheckFaceBytes(bytes.data(), bytes.size());
    if (!check.accepted) {
        std::fprintf(stderr, "mimlet-face make-sample: the face would be refused: %s\n",
                     check.reason.c_str());
        return kExitRefused;
    }
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "mimlet-face make-sample: could not write '%s'\n", outPath.c_str());
        return kExitRefused;
    }
    return kExitOk;
}

const CommandRegistration s_registration(
    {"make-sample", "make-sample OUT.mf [--variant N]   write sample face N (1 or 2)",
     runMakeSample});

} // namespace

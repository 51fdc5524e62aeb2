// nivra: the watershed model's console program.
#include <cstdio>

namespace {

const char* const usage_text =
    "\nUsage: nivra [-option] [inputfile]\n\n where -option is one of:\n      -c = SCE calibration mode (input file is the calibration control file)\n      -m = Monte Carlo calibration mode (input file is the calibration control file)\n      -b = batch mode (input file is the batch control file)\n      -s = sensitivity mode (input file is the sensitivity control file)\n      -v = display version information (no project will be run)\n  The c, m, b, and v commands are optional and if not present the input file is\n treated as the project file\n\n  For the -b option, the command line should be:\n      nivra -b[num_batch] nivra_inputfile\n\n  For the -c option, the command line should be:\n      nivra -c sce_inputfile\n\n  For the -m option, the command line should be:\n      nivra -m[num_batch] mc_inputfile\n\n  For the -s option, the command line should be:\n      nivra -s sen_inputfile\n\n  For the -t option (and -tv), the command line should be:\n      nivra -t[v]\n\n  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input file, mc_intputfile is\n  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n\n";

}  // namespace

int main(int, char**) {
  std::fputs(usage_text, stdout);
  return 0;
}

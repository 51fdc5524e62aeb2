#include "command/command_line.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "calibration/monte_carlo.h"
#include "calibration/sce.h"
#include "core/platform.h"
#include "core/process.h"
#include "model/project.h"
#include "run/driver.h"
#include "run/steps.h"

namespace nivra {

namespace {

const char* const usage_text =
    "\nUsage: nivra [-option] [inputfile]\n\n where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the SCE input file)\n"
    "      -m = Monte Carlo calibration mode (input file is the Monte Carlo input file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -s = sensitivity mode (Monte Carlo calibration of 500 runs)\n"
    "      -slm = Levenberg-Marquardt parameter estimation (input file is the case's control file)\n"
    "      -ms = multistart parameter estimation (ms.in and the case's control file)\n"
    "      -mls = multi-level single linkage parameter estimation (mlsl.in and the control file)\n"
    "      -t = trajectory repulsion parameter estimation (tr.in and the control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, s and v commands are optional and if not present the input file is\n"
    " treated as the project file\n\n"
    "  For the -b option, the command line should be:\n"
    "      nivra -b[num_batch] nivra_inputfile\n"
    "  where [num_batch] is the number of batch runs to make (0 or more).\n\n"
    "  For the -c option, the command line should be:\n"
    "      nivra -c sce_inputfile\n\n"
    "  For the -m option, the command line should be:\n"
    "      nivra -m[num_runs] mc_inputfile\n"
    "  where [num_runs] is the number of Monte Carlo runs to make (0 or more).\n\n"
    "  For the -s option, the command line should be:\n"
    "      nivra -s mc_inputfile\n\n"
    "  For the -slm option, the command line should be:\n"
    "      nivra -slm case [/r]\n"
    "  where case names the control file (case.pst) and /r continues from the restart file.\n\n"
    "  For the -ms, -mls and -t options, the command line should be:\n"
    "      nivra -ms case [/r]\n"
    "  with the search's input file in the working folder; /r appends to the case's record.\n\n";

inline constexpr long web_body_limit = 1024;

bool starts_with(std::string_view s, std::string_view head) { return s.substr(0, head.size()) == head; }

// The run count written after the option letters, as "%d" reads it; 1 when
// the text does not start with a number. Counts beyond the range of an int
// are held at its limits (a negative count is refused by the caller).
int run_count_after(std::string_view option, std::size_t letters) {
  std::string rest(option.substr(letters));
  const char* p = rest.c_str();
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const char* digits = p;
  if (*digits == '+' || *digits == '-') ++digits;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return 1;
  long n = std::strtol(p, nullptr, 10);
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The exit status of one run: a run stopped by an error is a failure even
// though the driver hands back the code the reporter already took.
int run_status(const run_command& command, const char* mode_word) {
  int code = run_simulation(command.control_file.str(), nullptr, mode_word);
  if (code == 0 && process.error_block.stop) return 1;
  if (code != 0 && (code & 0xff) == 0) return 1;  // an exit status keeps only the low byte
  return code & 0xff;
}

// Batch runs: run i takes line i + 1 of the replacement value file and
// prefixes every file it writes with its number. A run that fails does not
// stop the others, whose outputs stand; the batch fails when any of its
// runs failed, and names them at the end by the numbers of their files.
int run_batch(int count, const run_command& command, const char* mode_word) {
  std::printf("NIVRA is running in batch mode, and is running %d runs...\n", count);
  std::vector<int> failed;
  for (int i = 0; i < count; ++i) {
    process.replace_line = i;
    process.multi_run_mode = 1;
    process.run_number = i;
    if (run_status(command, mode_word) != 0) failed.push_back(i);
  }
  if (failed.empty()) return 0;
  std::printf("%zu of the %d batch runs stopped with an error: %s", failed.size(), count,
              failed.size() == 1 ? "run" : "runs");
  for (std::size_t k = 0; k < failed.size(); ++k)
    std::printf("%s%04d_ (value line %d)", k == 0 ? " " : ", ", failed[k], failed[k] + 1);
  std::printf(".\n");
  return 1;
}

int dispatch(int count, const run_command& command, int argc, char** argv) {
  const char* mode_word = argc > 1 ? argv[1] : "";
  const std::string& control = command.control_file.str();
  switch (command.mode) {
    case run_mode::single_run:
      // Maps and tables named in the project are found beside it, wherever
      // the program is started from (a PROJECT_FOLDER card still decides).
      set_project_folder_from_file(control);
      return run_status(command, mode_word);
    case run_mode::sce: return run_sce_mode(process.parallel_env, control) == 1 ? 0 : 1;
    case run_mode::batch:
      set_project_folder_from_file(control);
      return run_batch(count, command, mode_word);
    case run_mode::version: print_version(); break;
    case run_mode::help: break;
    case run_mode::monte_carlo: return run_montecarlo_mode(process.parallel_env, count, control) == 1 ? 0 : 1;
    case run_mode::sensitivity: return run_montecarlo_mode(process.parallel_env, 500, control) == 1 ? 0 : 1;
    case run_mode::secant_lm: return slm_dru(argc, argv);
    case run_mode::multistart: return slm_dru_ms1(argc, argv);
    case run_mode::trajectory_repulsion: return slm_dru_ms2(argc, argv);
    case run_mode::multilevel_linkage: return slm_dru_mlsl(argc, argv);
    default: break;
  }
  return 0;
}

}  // namespace

void print_usage() { std::fputs(usage_text, stdout); }

int parse_command_line(int argc, char** argv, run_command& command) {
  command = run_command();
  if (argc < 2) {
    print_usage();
    return command_unmatched;
  }
  std::string_view control = argc > 2 ? std::string_view(argv[2]) : std::string_view();
  int count = 1;
  if (argc == 2) {
    command.mode = run_mode::single_run;
    control = argv[1];
  } else {
    std::string_view option(argv[1]);
    if (starts_with(option, "-slm")) command.mode = run_mode::secant_lm;
    else if (option == "-ms") command.mode = run_mode::multistart;
    else if (starts_with(option, "-t")) command.mode = run_mode::trajectory_repulsion;
    else if (starts_with(option, "-mls")) command.mode = run_mode::multilevel_linkage;
    else if (starts_with(option, "-s")) command.mode = run_mode::sensitivity;
    else if (starts_with(option, "-c")) command.mode = run_mode::sce;
    else if (starts_with(option, "-b")) {
      command.mode = run_mode::batch;
      count = run_count_after(option, 2);
    } else if (starts_with(option, "-m")) {
      command.mode = run_mode::monte_carlo;
      count = run_count_after(option, 2);
    } else if (starts_with(option, "-h")) command.mode = run_mode::help;
    else if (starts_with(option, "-v")) command.mode = run_mode::version;
    else {
      print_usage();
      return command_unmatched;
    }
    if (command.mode == run_mode::version) control = {};
    if (count < 0) {
      std::printf("Error: %s asks for %d runs; give the number of runs (0 or more) after the option "
                  "letter, as in -b3.\n",
                  argv[1], count);
      command = run_command();
      return command_bad_count;
    }
  }
  if (!command.control_file.assign(control)) {
    std::printf("Error: the file name given on the command line is longer than %zu characters:\n%.*s\n",
                command.control_file.capacity - 1, static_cast<int>(control.size()), control.data());
    command = run_command();
    return command_name_too_long;
  }
  return count;
}

void print_version() {
  std::printf("\n    -- NIVRA version %4.2lf%c --\n \n", nivra_version, ' ');
  std::printf("  NIVRA: a physically based, spatially distributed watershed model\n");
  std::printf("  of rain, snowmelt, runoff, channels, groundwater, sediments and nutrients.\n \n");
  std::printf("developed in cooperation with: \n \n");
  std::printf("  the hydrologists who run it on their own watersheds and report what they find.\n");
  std::printf("\n \n");
  std::printf("  The calibration search follows the shuffled complex evolution (SCE-UA) method\n");
  std::printf("  of Duan, Sorooshian and Gupta.\n");
  std::printf("\n \n");
  std::printf("For information contact:\n");
  std::printf("  the NIVRA maintainers, through the project's issue tracker.\n");
  std::printf("\n \n");
  std::printf("Intended for use with PAV Version 9.0 or higher");
  std::printf("\n \n");
}

std::string decode_web_body(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= body.size()) {
        // An escape cut short by the end of the body.
        out.push_back('?');
        break;
      }
      const int hi = hex_digit(body[i + 1]);
      const int lo = hex_digit(body[i + 2]);
      out.push_back(hi < 0 || lo < 0 ? '?' : static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void print_web_request(const char* content_length, std::FILE* in) {
  long length = -1;
  if (!content_length || std::sscanf(content_length, "%ld", &length) != 1 || length < 0 ||
      length > web_body_limit) {
    std::printf("<P>Error in invocation - wrong FORM probably.");
    return;
  }
  // One line of at most the announced length; the buffer holds the longest
  // allowed body and its terminator.
  char buffer[web_body_limit + 1] = {};
  std::size_t n = 0;
  while (n < static_cast<std::size_t>(length)) {
    int c = std::fgetc(in);
    if (c == EOF || c == '\n') break;
    buffer[n++] = static_cast<char>(c);
  }
  std::string text = decode_web_body(std::string_view(buffer, n));
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stdout);
}

int nivra_main(int argc, char** argv) {
  // A web program is one whose own file name says so; a folder on its path
  // does not count.
  const bool web_mode =
      argc > 0 && argv[0] && file_part(argv[0]).find("web") != std::string_view::npos;
  // The start line names the SCE search only where it runs.
  const char* const with_sce = argc > 2 && starts_with(argv[1], "-c") ? " with SCE" : "";
  if (web_mode) {
    std::printf("%s%c%c\n", "Content-Type:text/text;charset=iso-8859-1", 13, 10);
    std::printf("<title>NIVRA Test Case</title><body><P> Web version of NIVRA (%2.1lf%c)%s "
                "starting...</P><P>",
                nivra_version, ' ', with_sce);
    print_web_request(std::getenv("CONTENT_LENGTH"), stdin);
  } else {
    std::printf("Serial version of NIVRA (%2.1lf%c)%s starting...\n", nivra_version, ' ', with_sce);
    std::fflush(stdout);
  }

  run_command command;
  const int count = parse_command_line(argc, argv, command);
  int status = 0;
  if (count == command_name_too_long || count == command_bad_count) status = 1;
  else if (count != command_unmatched) status = dispatch(count, command, argc, argv);

  if (web_mode) std::printf("</P></body>\n");
  std::fflush(stdout);
  return status;
}

}  // namespace nivra

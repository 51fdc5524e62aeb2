// Services of subsystems still to come that the time loop calls. Each is
// reached only with its card on; it then names the card and stops the run.
// The subsystem that builds one moves it out of this file.
namespace nivra {}  // namespace nivra

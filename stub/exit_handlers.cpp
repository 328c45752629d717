// Static destructors are registered through atexit() to run at exit(); the
// program ends through ExitProcess only, where they never ran, so none is
// kept. Defined here, inside the link-time optimisation (startup.cpp is
// outside it), so that every registration folds away, and with it each
// destructor that nothing else calls.
extern "C" int atexit(void (*)()) { return 0; }

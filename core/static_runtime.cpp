// Compiled into every shared object that carries its own copy of the C++ runtime (the plug-in
// modules). The runtime reserves a block of about 70 KB as the object is loaded, for exceptions
// thrown when memory is short; nothing frees it when a host unloads the object, so every load and
// unload (hosts do one per plug-in scan) would lose it. __freeres is the runtime's own way of
// freeing it, the one memory checkers call at exit.
namespace __gnu_cxx {
void __freeres();
}

__attribute__((destructor)) static void releaseRuntimeReserve() { __gnu_cxx::__freeres(); }

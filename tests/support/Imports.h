// Calls of the program to a system function, turned to a replacement of the test's:
//
//     decltype(&MoveFileExA) moveFileEx;
//     RedirectImport("MoveFileExA", &FailingMoveFileEx, moveFileEx);
//     ... the code under test calls FailingMoveFileEx, which may call moveFileEx ...
//     RedirectImport("MoveFileExA", moveFileEx, moveFileEx); // back to the original
//
// Only the program's own imports change: the code linked into it, not the system's libraries.
#pragma once

// Points the program's import of the function of that name at the replacement and gives what
// it pointed at before; null when the program imports no such function.
void* RedirectImport(const char* name, void* replacement);

template <typename Function>
void RedirectImport(const char* name, Function replacement, Function& original) {
    original =
        reinterpret_cast<Function>(RedirectImport(name, reinterpret_cast<void*>(replacement)));
}

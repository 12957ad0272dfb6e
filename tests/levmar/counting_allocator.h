// Replacement global operator new/delete (counting_allocator.cpp) for the allocation test:
// counts every allocation and can be told to fail them.
#pragma once

namespace lmtest {

// Allocations through operator new since the program started.
int AllocationCount();
// While set, every operator new fails (nothrow forms return null, the others throw).
void SetAllocationsFail(bool fail);

}  // namespace lmtest

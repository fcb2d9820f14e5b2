/* uint32_t CallStdcallChecked(void *fn, const uintptr_t *args, int count, int *stackError)
 * x86 only, cdecl. Pushes count arguments right to left, calls fn and stores
 * in *stackError how many bytes the callee removed beyond (positive) or short
 * of (negative) the 4 * count it should have removed. Returns the callee's eax. */
    .text
    .globl _CallStdcallChecked
_CallStdcallChecked:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %ecx, %edx
1:  testl %edx, %edx
    jz 2f
    decl %edx
    pushl (%esi,%edx,4)
    jmp 1b
2:  leal (%esp,%ecx,4), %ebx     /* where esp must be after a stdcall return */
    call *8(%ebp)
    movl %esp, %ecx
    subl %ebx, %ecx
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

# A session on QEMU's gdbstub, the same at -O0 and -O2. @CALL@ and @SCALE@
# stand for the lines marked "gdb: call" in main.c and "gdb: scale" in
# calc.c, @SOCKET@ for the gdbstub's socket.
target remote @SOCKET@
break main.c:@CALL@
continue
info locals
print samples[0]
step
bt
info args
info locals
finish
next
print calls
continue
info locals
print samples[0]
delete
break calc.c:@SCALE@
continue
bt
print value
print calls
print scale_factor
delete
break average
continue
bt
info args
print s[1]
print *s@4
finish
print calls
print/x samples[3]
next
next
info locals
detach

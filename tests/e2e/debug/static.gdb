# What gdb reads from the ELF file alone. @CALL@ and @SCALE@ stand for the
# lines marked "gdb: call" in main.c and "gdb: scale" in calc.c.
info line main.c:@CALL@
info line calc.c:@SCALE@
info line scale
list scale
list main.c:@CALL@,+2
info address samples
info address calls
info address banner
info address scale_factor
info address average
ptype struct sample
ptype samples
whatis scale
whatis average
info scope scale
info scope average
info scope main.c:@CALL@
info symbol scale
info symbol average
print banner
print scale_factor
print sizeof(samples)
print &samples[2]
print &scale_factor
print &limits[1]
info symbol &limits[1]
info functions
info variables
info types sample

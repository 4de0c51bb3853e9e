| int __divsi3(int a, int b): a / b, rounded towards zero: the unsigned
| quotient of the magnitudes, negated when the signs differ. The magnitude
| of INT_MIN is 0x80000000 as an unsigned number, so no case overflows but
| INT_MIN / -1, which C leaves undefined (it gives INT_MIN).
	.file	"divsi3.s"
	.text
	.globl	__divsi3
__divsi3:
	move.l	%d2,-(%sp)
	move.l	8(%sp),%d0		| a
	move.l	12(%sp),%d1		| b
	move.l	%d0,%d2
	eor.l	%d1,%d2			| negative when the signs differ
	tst.l	%d0
	bpl.s	1f
	neg.l	%d0
1:	tst.l	%d1
	bpl.s	2f
	neg.l	%d1
2:	move.l	%d1,-(%sp)
	move.l	%d0,-(%sp)
	jsr	__udivsi3
	addq.l	#8,%sp
	tst.l	%d2
	bpl.s	3f
	neg.l	%d0
3:	move.l	(%sp)+,%d2
	rts

| int __modsi3(int a, int b): a % b, whose sign is a's (C's remainder of a
| division rounded towards zero): the unsigned remainder of the magnitudes,
| negated when a is negative.
	.file	"modsi3.s"
	.text
	.globl	__modsi3
__modsi3:
	move.l	%d2,-(%sp)
	move.l	8(%sp),%d0		| a
	move.l	12(%sp),%d1		| b
	move.l	%d0,%d2			| the remainder's sign
	bpl.s	1f
	neg.l	%d0
1:	tst.l	%d1
	bpl.s	2f
	neg.l	%d1
2:	move.l	%d1,-(%sp)
	move.l	%d0,-(%sp)
	jsr	__udivsi3
	addq.l	#8,%sp
	move.l	%d1,%d0
	tst.l	%d2
	bpl.s	3f
	neg.l	%d0
3:	move.l	(%sp)+,%d2
	rts

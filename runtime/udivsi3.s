| unsigned __udivsi3(unsigned n, unsigned d): n / d, for gcc's unsigned
| 32-bit division where the core has no divide instruction (5206).
| Shift-subtract: d is shifted left until it is no longer below n (or its
| top bit is set), then each step takes d from n where it fits, setting the
| quotient bit d stands for, and halves d, down to bit 0.
|
| Besides the quotient in d0 it leaves the remainder in d1, which
| __umodsi3, __divsi3 and __modsi3 take from it. A divisor of 0 gives the
| quotient 0xFFFFFFFF and the remainder n.
	.file	"udivsi3.s"
	.text
	.globl	__udivsi3
__udivsi3:
	lea	-8(%sp),%sp
	movem.l	%d2-%d3,(%sp)
	move.l	12(%sp),%d0		| n, left as the remainder
	move.l	16(%sp),%d1		| d
	moveq	#0,%d2			| quotient
	moveq	#1,%d3			| the quotient bit that d stands for
	tst.l	%d1
	beq.s	.Lzero
.Lnormalise:
	cmp.l	%d0,%d1
	bcc.s	.Lstep			| d >= n
	tst.l	%d1
	bmi.s	.Lstep			| a further shift would lose d's top bit
	add.l	%d1,%d1
	add.l	%d3,%d3
	bra.s	.Lnormalise
.Lstep:
	cmp.l	%d1,%d0
	bcs.s	1f			| n < d: this bit is 0
	sub.l	%d1,%d0
	or.l	%d3,%d2
1:	lsr.l	#1,%d1
	lsr.l	#1,%d3
	bne.s	.Lstep
	move.l	%d0,%d1			| remainder
	move.l	%d2,%d0			| quotient
	bra.s	.Ldone
.Lzero:
	move.l	%d0,%d1
	moveq	#-1,%d0
.Ldone:
	movem.l	(%sp),%d2-%d3
	lea	8(%sp),%sp
	rts

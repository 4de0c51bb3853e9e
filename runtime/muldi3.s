| long long __muldi3(long long a, long long b): the low 64 bits of a * b,
| the same for signed and unsigned operands. With a = ah:al and b = bh:bl,
| the product is al*bl + (ah*bl + al*bh) << 32; the cross terms only need
| their low 32 bits (mulu.l), but al*bl is needed whole, and the core
| multiplies 32 by 32 bits into 32 only. So al*bl is built from 16-bit
| halves, al = a1:a0 and bl = b1:b0, with mulu.w (16 by 16 into 32):
| a1*b1 << 32 + (a1*b0 + a0*b1) << 16 + a0*b0.
	.file	"muldi3.s"
	.text
	.globl	__muldi3
__muldi3:
	lea	-16(%sp),%sp
	movem.l	%d2-%d5,(%sp)
	move.l	24(%sp),%d0		| al
	move.l	32(%sp),%d1		| bl
	move.l	28(%sp),%d2
	mulu.l	%d0,%d2			| bh * al
	move.l	20(%sp),%d3
	mulu.l	%d1,%d3			| ah * bl
	add.l	%d3,%d2			| the cross terms, for the high word
	move.l	%d0,%d3
	swap	%d3			| a1 in the low half
	move.l	%d1,%d4
	swap	%d4			| b1 in the low half
	move.l	%d3,%d5
	mulu.w	%d4,%d5			| a1*b1
	mulu.w	%d1,%d3			| a1*b0
	mulu.w	%d0,%d4			| a0*b1
	mulu.w	%d1,%d0			| a0*b0
	add.l	%d4,%d3			| the middle terms
	bcc.s	1f
	addi.l	#0x10000,%d5		| their carry is worth 2^48
1:	move.l	%d3,%d4
	clr.w	%d3
	swap	%d3			| middle >> 16, into the high word
	swap	%d4
	clr.w	%d4			| middle << 16, into the low word
	add.l	%d4,%d0			| low word
	moveq	#0,%d1
	addx.l	%d1,%d5			| its carry
	add.l	%d3,%d5
	add.l	%d2,%d5			| high word
	move.l	%d0,%d1
	move.l	%d5,%d0
	movem.l	(%sp),%d2-%d5
	lea	16(%sp),%sp
	rts

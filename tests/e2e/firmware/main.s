| uint32_t byte_sum(const void *bytes, size_t n): the sum of n bytes, each
| taken as unsigned. An assembly module named like main.c: the two are
| separate modules.
	.file	"main.s"
	.text
	.globl	byte_sum
byte_sum:
	move.l	4(%sp),%a0
	move.l	8(%sp),%d1
	moveq	#0,%d0
	move.l	%d2,%a1
1:	subq.l	#1,%d1
	bcs.s	2f
	moveq	#0,%d2
	move.b	(%a0)+,%d2
	add.l	%d2,%d0
	bra.s	1b
2:	move.l	%a1,%d2
	rts

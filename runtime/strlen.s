| size_t strlen(const char *s): the number of bytes before the first zero.
	.file	"strlen.s"
	.text
	.globl	strlen
strlen:
	move.l	4(%sp),%a0
	move.l	%a0,%d1			| start
1:	tst.b	(%a0)+
	bne.s	1b
	move.l	%a0,%d0
	sub.l	%d1,%d0
	subq.l	#1,%d0			| a0 is one past the zero
	rts

| unsigned __umodsi3(unsigned n, unsigned d): n % d, the remainder that
| __udivsi3 leaves in d1.
	.file	"umodsi3.s"
	.text
	.globl	__umodsi3
__umodsi3:
	move.l	8(%sp),-(%sp)		| d
	move.l	8(%sp),-(%sp)		| n
	jsr	__udivsi3
	addq.l	#8,%sp
	move.l	%d1,%d0
	rts

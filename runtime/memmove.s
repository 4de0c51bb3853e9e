| void *memmove(void *dst, const void *src, size_t n): copies n bytes from
| src to dst, which may overlap, and returns dst. When dst lies below src
| or at or past src + n, copying upwards never overwrites a byte before it
| is read; otherwise the copy runs downwards from the ends. Either way the
| copy goes by long words where dst and src share their alignment, as in
| memcpy. The upward copy is memmove's own, not a call to memcpy, so that
| a program's own memcpy, which need not copy upwards, cannot break it.
	.file	"memmove.s"
	.text
	.globl	memmove
memmove:
	move.l	4(%sp),%a0		| dst
	move.l	8(%sp),%a1		| src
	move.l	12(%sp),%d1		| bytes left
	move.l	%a0,%d0
	sub.l	%a1,%d0
	cmp.l	%d1,%d0
	bcs.s	.Ldown			| src < dst < src + n (unsigned dst - src < n)

	andi.l	#3,%d0
	bne.s	.Lup_bytes
.Lup_align:
	move.l	%a0,%d0
	andi.l	#3,%d0
	beq.s	.Lup_aligned
	tst.l	%d1
	beq.w	.Ldone
	move.b	(%a1)+,(%a0)+
	subq.l	#1,%d1
	bra.s	.Lup_align
.Lup_aligned:
	move.l	%d1,%d0
	lsr.l	#4,%d0
	beq.s	.Lup_longs
.Lup_block:
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
	subq.l	#1,%d0
	bne.s	.Lup_block
.Lup_longs:
	btst	#3,%d1
	beq.s	1f
	move.l	(%a1)+,(%a0)+
	move.l	(%a1)+,(%a0)+
1:	btst	#2,%d1
	beq.s	2f
	move.l	(%a1)+,(%a0)+
2:	andi.l	#3,%d1
.Lup_bytes:
	subq.l	#1,%d1
	bcs.s	.Ldone
	move.b	(%a1)+,(%a0)+
	bra.s	.Lup_bytes

| downwards: both pointers start one past the last byte
.Ldown:
	adda.l	%d1,%a0
	adda.l	%d1,%a1
	andi.l	#3,%d0
	bne.s	.Ldown_bytes
.Ldown_align:
	move.l	%a0,%d0
	andi.l	#3,%d0
	beq.s	.Ldown_aligned
	tst.l	%d1
	beq.s	.Ldone
	move.b	-(%a1),-(%a0)
	subq.l	#1,%d1
	bra.s	.Ldown_align
.Ldown_aligned:
	move.l	%d1,%d0
	lsr.l	#4,%d0
	beq.s	.Ldown_longs
.Ldown_block:
	move.l	-(%a1),-(%a0)
	move.l	-(%a1),-(%a0)
	move.l	-(%a1),-(%a0)
	move.l	-(%a1),-(%a0)
	subq.l	#1,%d0
	bne.s	.Ldown_block
.Ldown_longs:
	btst	#3,%d1
	beq.s	1f
	move.l	-(%a1),-(%a0)
	move.l	-(%a1),-(%a0)
1:	btst	#2,%d1
	beq.s	2f
	move.l	-(%a1),-(%a0)
2:	andi.l	#3,%d1
.Ldown_bytes:
	subq.l	#1,%d1
	bcs.s	.Ldone
	move.b	-(%a1),-(%a0)
	bra.s	.Ldown_bytes

.Ldone:
	move.l	4(%sp),%d0		| a pointer is returned in both d0 and a0
	move.l	%d0,%a0
	rts

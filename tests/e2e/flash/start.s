| Start-up of a program that runs from flash with its data in RAM. The
| board starts the image at its first byte with the stack pointer unset and
| the RAM holding whatever it held. Before any C runs: a stack at the top of
| the RAM, data's initial bytes copied from the image to where data runs,
| bss cleared. Then: enable the UART, run main, halt.
|
| The linker defines the symbols (tarnel with --ram and --ram-size); they
| are addresses, so each is taken with lea, never read.
	.file	"start.s"
	.text
	.globl	_start
_start:
	lea	__ram_end,%sp		| the stack grows down from the RAM's end

	lea	__data_load,%a0		| data's bytes in the image
	lea	__data_start,%a1	| where data runs
	lea	_edata,%a2
1:	cmpa.l	%a2,%a1			| bytes, so that a part of any size copies
	bcc.s	2f
	move.b	(%a0)+,(%a1)+
	bra.s	1b

2:	lea	__bss_start,%a1
	lea	_end,%a2
3:	cmpa.l	%a2,%a1
	bcc.s	4f
	clr.b	(%a1)+
	bra.s	3b

4:	jsr	uart_init
	jsr	main

| halt stops the core. Under QEMU started with -semihosting, this exact
| sequence (nop on a 4-byte boundary, halt, then the movec word) with
| d0 = 0 asks the emulator to exit with status d1.
	moveq	#0,%d0
	moveq	#0,%d1
	.p2alignw 2,0x4e71
	nop
	halt
	.long	0x4e7bf000
stop:	bra.s	stop
